#include "platformservices.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

bool SystemPlatformServices::startProgram(const QString &path, const QStringList &args,
                                          bool hidden)
{
#ifdef Q_OS_WIN
    QProcess process;
    process.setProgram(path);
    process.setArguments(args);
    if (hidden) {
        process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *a) {
            a->flags |= CREATE_NO_WINDOW;
        });
    }
    return process.startDetached();
#else
    Q_UNUSED(hidden);
    return QProcess::startDetached(path, args, QFileInfo(path).absolutePath());
#endif
}

bool SystemPlatformServices::openWithDefault(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool SystemPlatformServices::copyFileOver(const QString &source, const QString &target)
{
#ifdef Q_OS_WIN
    return CopyFileW(reinterpret_cast<LPCWSTR>(source.utf16()),
                     reinterpret_cast<LPCWSTR>(target.utf16()), FALSE) != 0;
#else
    // A program that runs holds its file, as on Windows: the kernel refuses
    // to open a running executable for writing.
    const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    else if (errno == ETXTBSY)
        return false;
    // Copy beside the target and rename over it, so that a failed copy never
    // leaves the folder without a working program file.
    const QString temp = target + QStringLiteral(".part");
    QFile::remove(temp);
    if (!QFile::copy(source, temp))
        return false;
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) !=
        0) {
        QFile::remove(temp);
        return false;
    }
    return true;
#endif
}

bool RecordingPlatformServices::startProgram(const QString &path, const QStringList &args,
                                             bool hidden)
{
    calls << QStringLiteral("start %1 %2%3")
                 .arg(path)
                 .arg(hidden)
                 .arg(args.isEmpty() ? QString() : QLatin1Char(' ') + args.join(QLatin1Char(' ')));
    return true;
}

bool RecordingPlatformServices::openWithDefault(const QString &path)
{
    calls << QStringLiteral("open ") + path;
    return true;
}

bool RecordingPlatformServices::copyFileOver(const QString &source, const QString &target)
{
    calls << QStringLiteral("copy %1 %2").arg(source, target);
    return copyResult;
}
