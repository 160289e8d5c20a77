// INI store: the input is a settings file. Every value read and written
// back leaves the file's bytes as they were; a changed value and a new key
// change nothing else that reads; a read after the writes gives the same.
#include "fuzzsupport.h"
#include "inifile.h"

#include <QFile>
#include <QTemporaryDir>

#include <utility>

namespace
{

struct Entry {
    QString section;
    QString key;
    QString value;
};

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void putBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    fuzz::check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "temporary file opened");
    fuzz::check(file.write(bytes) == bytes.size(), "temporary file written");
}

// Every key with a value, as read; a few dozen are plenty per input.
QList<Entry> entries(const IniFile &ini)
{
    QList<Entry> all;
    for (const QString &section : ini.sections()) {
        for (const QString &key : ini.keys(section)) {
            if (all.size() < 32)
                all.append(Entry{section, key, ini.readString(section, key)});
        }
    }
    return all;
}

void checkReads(const IniFile &ini, const QList<Entry> &expected, const char *what)
{
    for (const Entry &e : expected) {
        const QString read = ini.readString(e.section, e.key, QStringLiteral("\x01missing"));
        if (read != e.value) {
            std::fprintf(stderr, "[%s] %s: expected \"%s\", read \"%s\"\n", qPrintable(e.section),
                         qPrintable(e.key), qPrintable(e.value), qPrintable(read));
        }
        fuzz::check(read == e.value, what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Korvel.x64.ini"));
    const QByteArray original(reinterpret_cast<const char *>(data), qsizetype(size));
    putBytes(path, original);

    IniFile ini(path);
    const QList<Entry> before = entries(ini);
    for (const Entry &e : before) {
        fuzz::check(ini.writeString(e.section, e.key, e.value), "a value read can be written");
        fuzz::check(bytesOf(path) == original, "writing a value back keeps the bytes");
    }

    QList<Entry> expected = before;
    if (!expected.isEmpty()) {
        // Plain ASCII, which every code page holds.
        Entry &changed = expected.first();
        changed.value = changed.value.isEmpty() ? QStringLiteral("C:\\x y") : QString();
        const bool written = ini.writeString(changed.section, changed.key, changed.value);
        if (!written)
            std::fprintf(stderr, "%s\n", qPrintable(ini.errorString()));
        fuzz::check(written, "a changed value is written");
    }
    const Entry added{QStringLiteral("FuzzSett"), QStringLiteral("aAdded"),
                      QStringLiteral(" 'q' ")};
    if (!ini.keys(added.section).contains(added.key, Qt::CaseInsensitive)) {
        fuzz::check(ini.writeString(added.section, added.key, added.value), "a new key is written");
        expected.append(added);
    }

    checkReads(ini, expected, "the writer reads what it wrote");
    checkReads(IniFile(path), expected, "a new reader reads the same");
    return 0;
}
