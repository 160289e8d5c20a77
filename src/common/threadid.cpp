#include "threadid.h"

#ifdef Q_OS_WIN
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <sys/syscall.h>
#include <unistd.h>
#else
#include <QThread>
#endif

quint64 CurrentOsThreadId()
{
#ifdef Q_OS_WIN
    return GetCurrentThreadId();
#elif defined(Q_OS_LINUX)
    return quint64(syscall(SYS_gettid));
#else
    return quint64(reinterpret_cast<quintptr>(QThread::currentThreadId()));
#endif
}
