#pragma once

// Shared by the fuzz targets: a Qt application for code that needs one,
// quiet Qt messages (the logic under test warns on bad input by design),
// and a check that aborts so that libFuzzer and the replay test see it.
#include <QCoreApplication>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fuzz
{

inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    qInstallMessageHandler(quietMessages);
    static QCoreApplication app(argc, argv);
}

inline void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Takes bytes from the front of the input as it is consumed.
struct Input {
    const uint8_t *data;
    size_t size;

    bool empty() const { return size == 0; }
    uint8_t byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    QByteArray bytes(size_t n)
    {
        n = n < size ? n : size;
        QByteArray out(reinterpret_cast<const char *>(data), qsizetype(n));
        data += n;
        size -= n;
        return out;
    }
    QByteArray rest() { return bytes(size); }
};

} // namespace fuzz
