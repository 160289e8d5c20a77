#include "engineclock.h"
#include "inifile.h"
#include "settingsstore.h"
#include "timeouts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace K = SettingsKeys;

namespace
{

const QString IniName = QStringLiteral("Korvel.x64.ini");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray utf16LeWithBom(const QString &text)
{
    QByteArray bytes("\xFF\xFE");
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// One line per field, so that a failed comparison names the field.
QString describe(const SettingsValues &v)
{
    return QStringLiteral("protokol=%1 read=%2 write=%3 usbOrSerial=%4\n"
                          "sendReport=%5 warnings=%6 loadOnlyCurrent=%7\n"
                          "txt=[%8] test=[%9] lastPort=%10")
        .arg(v.timeOutProtokol)
        .arg(v.timeOutRead)
        .arg(v.timeOutWrite)
        .arg(v.usbOrSerial)
        .arg(v.sendReport)
        .arg(v.warnings)
        .arg(v.loadOnlyCurrent)
        .arg(v.txtFilePath, v.txtTestFilePath)
        .arg(v.lastPortNo);
}

// The engine's timers as the main window has them, on a fake clock.
class Timers
{
public:
    Timers()
    {
        const char *names[] = {"TSearchArvo",        "TSearchKennung",   "TSelMemReadDevice",
                               "TSelMemWriteDevice", "TReset",           "TClosePort",
                               "TReadSerials",       "TReadSerialsExt",  "TReadParams",
                               "TWriteSerials",      "TWriteSerialsExt", "TWriteParams"};
        for (const char *name : names)
            add(QString::fromLatin1(name), BuiltInTimerInterval);
        // Not a settings timer: its 2000 ms are fixed.
        add(QStringLiteral("TTimeOutScan"), 2000);
    }

    QList<EngineTimer *> list() const
    {
        QList<EngineTimer *> result;
        for (const auto &timer : m_timers)
            result.append(timer.get());
        return result;
    }

    int interval(const QString &name) const
    {
        for (const auto &timer : m_timers) {
            if (timer->name() == name)
                return timer->interval();
        }
        return -1;
    }

    // "name=ms name=ms": the timers expected away from their built-in
    // interval; every other timer must still have it.
    void verifyIntervals(const QString &changed) const
    {
        QMap<QString, int> expected = m_builtIn;
        const QStringList pairs = changed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &pair : pairs) {
            const QStringList parts = pair.split(QLatin1Char('='));
            QVERIFY2(expected.contains(parts[0]), qPrintable(pair));
            expected[parts[0]] = parts[1].toInt();
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(interval(it.key()) == it.value(),
                     qPrintable(QStringLiteral("%1 runs at %2 ms, expected %3")
                                    .arg(it.key())
                                    .arg(interval(it.key()))
                                    .arg(it.value())));
    }

private:
    void add(const QString &name, int ms)
    {
        m_timers.push_back(std::make_unique<EngineTimer>(name, m_clock, ms));
        m_builtIn.insert(name, ms);
    }

    FakeClock m_clock;
    std::vector<std::unique_ptr<EngineTimer>> m_timers;
    QMap<QString, int> m_builtIn;
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void write_data();
    void write();
    void writeBuildsOnOtherWriters();
    void lineBreakInValueIsRefused();
    void valueWrittenBackKeepsBytes_data();
    void valueWrittenBackKeepsBytes();
    void unencodableValueIsRefused();
    void settingsSavedUnchangedKeepCarriedOverBytes();
    void unwritableTarget_data();
    void unwritableTarget();

    void settingsFilePath_data();
    void settingsFilePath();
    void missingFileReadsDefaults();
    void carriedOverFileLoadsAndKeepsItsLines();
    void saveToNewFile();
    void saveSettingsLeavesLastPortAlone();
    void verifyWriteKey_data();
    void verifyWriteKey();

    void timeOutsAtStartup_data();
    void timeOutsAtStartup();
    void storedTimeOutsOutOfRangeAreBroughtIntoRangeByApply();
    void rs232PresetReachesAllTwelveTimers();
};

// Rows: file bytes (null: no file), section, key, default (its type picks
// readString, readInteger or readBool) and the value read.
void TestSettings::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QVariant>("expected");

    const QString ts = K::TimeSett;
    const QString tor = K::TimeOutRead;
    auto timeOutRead = [&](const char *row, const QByteArray &content, int expected) {
        QTest::newRow(row) << content << ts << tor << QVariant(300) << QVariant(expected);
    };
    auto number = [&](const char *row, const QByteArray &value, int expected) {
        timeOutRead(row, "[TimeSett]\r\nTimeOutRead=" + value + "\r\n", expected);
    };

    // Where the key is looked for.
    timeOutRead("missing file", QByteArray(), 300);
    timeOutRead("empty file", QByteArray(""), 300);
    timeOutRead("missing section", "[ReportSett]\r\naWarnings=0\r\n", 300);
    timeOutRead("missing key", "[TimeSett]\r\nTimeOutWrite=450\r\n", 300);
    timeOutRead("key of the next section",
                "[TimeSett]\r\nTimeOutWrite=1\r\n[ReportSett]\r\nTimeOutRead=450\r\n", 300);
    timeOutRead("key before any section", "TimeOutRead=450\r\n[TimeSett]\r\n", 300);
    timeOutRead("commented-out key", "[TimeSett]\r\n;TimeOutRead=450\r\n", 300);
    timeOutRead("section and key in other case", "[TIMESETT]\r\ntimeoutread=450\r\n", 450);
    timeOutRead("blanks around lines, key and value",
                "  [TimeSett]\r\n \t TimeOutRead \t=  450 \t\r\n", 450);
    timeOutRead("LF line ends", "[TimeSett]\nTimeOutRead=450\n", 450);
    timeOutRead("last line without line end", "[TimeSett]\r\nTimeOutRead=450", 450);
    timeOutRead("first of repeated keys", "[TimeSett]\r\nTimeOutRead=450\r\nTimeOutRead=600\r\n",
                450);
    timeOutRead("garbage lines around the key",
                "\x01\xFF\r\n[TimeSett]\r\n\xC3 no setting\r\n=\r\n[\r\nTimeOutRead=450\r\n"
                "x]y\r\n",
                450);
    timeOutRead("unknown sections before and after",
                "[Window]\r\nLeft=1\r\n[TimeSett]\r\nTimeOutRead=450\r\n[Phones]\r\nA=2\r\n", 450);
    timeOutRead("CR line ends", "[TimeSett]\rTimeOutWrite=1\rTimeOutRead=450\r", 450);
    timeOutRead("key only in the second of two same sections",
                "[TimeSett]\r\nTimeOutWrite=1\r\n[PathSett]\r\nx=1\r\n[TimeSett]\r\n"
                "TimeOutRead=450\r\n",
                450);
    timeOutRead("key in both same sections: the first",
                "[TimeSett]\r\nTimeOutRead=450\r\n[TimeSett]\r\nTimeOutRead=600\r\n", 450);
    timeOutRead("UTF-16LE file",
                utf16LeWithBom(QStringLiteral("[TimeSett]\r\nTimeOutRead=450\r\n")), 450);

    // How a number is read.
    number("decimal", "450", 450);
    number("leading zeros", "0450", 450);
    number("signed", "-5", -5);
    number("0x hexadecimal", "0x96", 150);
    number("0X hexadecimal, upper-case digits", "0X1F4", 500);
    number("hexadecimal wraps to 32-bit signed", "0xFFFFFFFF", -1);
    number("garbage", "fast", 300);
    number("number and trailing text", "450 ; fast", 300);
    number("blank inside", "4 50", 300);
    number("0x without digits", "0x", 300);
    number("bad hexadecimal digit", "0x9G", 300);
    number("decimal beyond 32 bits", "4294967296", 300);
    number("hexadecimal beyond 32 bits", "0x100000000", 300);
    number("empty value", "", 300);

    // Flags are numbers <> 0; anything else keeps the default.
    const QString rs = K::ReportSett;
    const QString lc = K::LoadOnlyCurrent;
    auto flag = [&](const char *row, const QByteArray &value, bool defaultValue, bool expected) {
        QTest::newRow(row) << "[ReportSett]\r\naLoadOnlyCurrent=" + value + "\r\n"
                           << rs << lc << QVariant(defaultValue) << QVariant(expected);
    };
    flag("flag 1", "1", false, true);
    flag("flag 0", "0", true, false);
    flag("flag 5 is true", "5", false, true);
    flag("flag 0x0 is false", "0x0", true, false);
    flag("flag garbage keeps default true", "yes", true, true);
    flag("flag garbage keeps default false", "yes", false, false);
    flag("flag empty keeps default", "", true, true);

    // Text is raw to the end of the line.
    const QString ps = K::PathSett;
    const QString tp = K::TxtFilePath;
    auto text = [&](const char *row, const QByteArray &content, const QString &defaultValue,
                    const QString &expected) {
        QTest::newRow(row) << content << ps << tp << QVariant(defaultValue) << QVariant(expected);
    };
    const QString prog = QStringLiteral("C:\\Phones\\prog");
    text("backslashes kept", "[PathSett]\r\naTxtFilePath=C:\\Phones\\prog\r\n", QString(), prog);
    text("blanks around the value trimmed", "[PathSett]\r\naTxtFilePath =  C:\\Phones\\prog \t\r\n",
         QString(), prog);
    text("surrounding quotes dropped", "[PathSett]\r\naTxtFilePath=\"C:\\Phones\\my prog\"\r\n",
         QString(), QStringLiteral("C:\\Phones\\my prog"));
    text("unmatched quote kept", "[PathSett]\r\naTxtFilePath=\"C:\\Phones\r\n", QString(),
         QStringLiteral("\"C:\\Phones"));
    text("equals sign inside the value", "[PathSett]\r\naTxtFilePath=C:\\a=b\r\n", QString(),
         QStringLiteral("C:\\a=b"));
    text("empty value is a value", "[PathSett]\r\naTxtFilePath=\r\n", QStringLiteral("D"),
         QString(""));
    text("key without equals sign has no value", "[PathSett]\r\naTxtFilePath\r\n",
         QStringLiteral("D"), QStringLiteral("D"));
    text("system code page",
         QStringLiteral("[PathSett]\r\naTxtFilePath=C:\\Phones\\Müller\r\n").toLocal8Bit(),
         QString(), QStringLiteral("C:\\Phones\\Müller"));
    text("Windows-1252 bytes on any system",
         "[PathSett]\r\naTxtFilePath=C:\\Phones\\M\xFCller \x80\r\n", QString(),
         QStringLiteral("C:\\Phones\\Müller €"));
    text("UTF-8 byte order mark before Windows-1252 bytes",
         "\xEF\xBB\xBF[PathSett]\r\naTxtFilePath=C:\\M\xFCller\r\n", QString(),
         QStringLiteral("C:\\Müller"));
    text("UTF-8 with byte order mark",
         "\xEF\xBB\xBF[PathSett]\r\naTxtFilePath=C:\\Phones\\M\xC3\xBCller\r\n", QString(),
         QStringLiteral("C:\\Phones\\Müller"));
}

void TestSettings::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QVariant, defaultValue);
    QFETCH(QVariant, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    if (!content.isNull())
        putFile(path, content);

    const IniFile ini(path);
    QVariant actual;
    switch (defaultValue.typeId()) {
    case QMetaType::QString:
        actual = ini.readString(section, key, defaultValue.toString());
        break;
    case QMetaType::Int:
        actual = ini.readInteger(section, key, defaultValue.toInt());
        break;
    case QMetaType::Bool:
        actual = ini.readBool(section, key, defaultValue.toBool());
        break;
    default:
        QFAIL("unexpected default type");
    }
    QCOMPARE(actual, expected);
    QCOMPARE(QFile::exists(path), !content.isNull()); // reading never creates the file
}

// Rows: file bytes before (null: no file), what is written (its type picks
// writeString, writeInteger or writeBool) and the file bytes after.
void TestSettings::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("after");

    const QString prog = QStringLiteral("C:\\Phones\\prog");
    QTest::newRow("new file") << QByteArray() << QString(K::PathSett) << QString(K::TxtFilePath)
                              << QVariant(prog)
                              << QByteArray("[PathSett]\r\naTxtFilePath=C:\\Phones\\prog\r\n");
    QTest::newRow("integer written in decimal")
        << QByteArray("[TimeSett]\r\nTimeOutRead=0x96\r\n") << QString(K::TimeSett)
        << QString(K::TimeOutRead) << QVariant(450)
        << QByteArray("[TimeSett]\r\nTimeOutRead=450\r\n");
    QTest::newRow("true written as 1")
        << QByteArray("[ReportSett]\r\naWarnings=0\r\n") << QString(K::ReportSett)
        << QString(K::Warnings) << QVariant(true) << QByteArray("[ReportSett]\r\naWarnings=1\r\n");
    QTest::newRow("false written as 0")
        << QByteArray("[ReportSett]\r\naWarnings=5\r\n") << QString(K::ReportSett)
        << QString(K::Warnings) << QVariant(false) << QByteArray("[ReportSett]\r\naWarnings=0\r\n");

    // Everything but the key's own line stays, byte for byte: comments, blank
    // lines, a garbage line that is not valid text, the same key in other
    // sections before and after.
    const QByteArray head = "; Korvel settings\r\n"
                            "[Other]\r\nTimeOutRead=1\r\n"
                            "[TimeSett]\r\nTimeOutProtokol=300\r\n";
    const QByteArray tail = "\x01 not a setting \xFF\xC3\r\n"
                            "TimeOutWrite=300\r\n"
                            "\r\n"
                            "[PathSett]\r\naTxtFilePath=C:\\Phones\\prog\r\n"
                            "[More]\r\nTimeOutRead=2\r\n";
    QTest::newRow("only the key's line changes")
        << head + "TimeOutRead=300\r\n" + tail << QString(K::TimeSett) << QString(K::TimeOutRead)
        << QVariant(450) << head + "TimeOutRead=450\r\n" + tail;

    QTest::newRow("existing key found in any case, its spelling kept")
        << QByteArray("[timesett]\r\ntimeoutread=300\r\n") << QString(K::TimeSett)
        << QString(K::TimeOutRead) << QVariant(450)
        << QByteArray("[timesett]\r\ntimeoutread=450\r\n");
    QTest::newRow("blanks around the key's line dropped")
        << QByteArray("[TimeSett]\r\n  TimeOutRead = 300  \r\n") << QString(K::TimeSett)
        << QString(K::TimeOutRead) << QVariant(450)
        << QByteArray("[TimeSett]\r\nTimeOutRead=450\r\n");
    QTest::newRow("new key at the end of its section")
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\n\r\n[PathSett]\r\naTxtFilePath=x\r\n")
        << QString(K::TimeSett) << QString(K::TimeOutWrite) << QVariant(450)
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\nTimeOutWrite=450\r\n\r\n"
                      "[PathSett]\r\naTxtFilePath=x\r\n");
    QTest::newRow("new key under a last section header without line end")
        << QByteArray("[PathSett]\r\naTxtFilePath=x\r\n[TimeSett]") << QString(K::TimeSett)
        << QString(K::TimeOutWrite) << QVariant(450)
        << QByteArray("[PathSett]\r\naTxtFilePath=x\r\n[TimeSett]\r\nTimeOutWrite=450\r\n");
    QTest::newRow("new section at the end")
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\n") << QString(K::ProgSett)
        << QString(K::LastPortNo) << QVariant(3)
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\n[ProgSett]\r\naLastPortNo=3\r\n");
    QTest::newRow("new section after a last line without line end")
        << QByteArray("[TimeSett]\r\nTimeOutRead=300") << QString(K::ProgSett)
        << QString(K::LastPortNo) << QVariant(3)
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\n[ProgSett]\r\naLastPortNo=3\r\n");
    QTest::newRow("written line ends in CR LF, other lines keep LF")
        << QByteArray("[TimeSett]\nTimeOutRead=300\nTimeOutWrite=300\n") << QString(K::TimeSett)
        << QString(K::TimeOutRead) << QVariant(450)
        << QByteArray("[TimeSett]\nTimeOutRead=450\r\nTimeOutWrite=300\n");
    QTest::newRow("CR line ends: only the key's line changes")
        << QByteArray("[TimeSett]\rTimeOutRead=300\rTimeOutWrite=300") << QString(K::TimeSett)
        << QString(K::TimeOutRead) << QVariant(450)
        << QByteArray("[TimeSett]\rTimeOutRead=450\r\nTimeOutWrite=300");
    QTest::newRow("key of the second same section changed there")
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\n[PathSett]\r\naTxtFilePath=x\r\n"
                      "[TimeSett]\r\nTimeOutWrite=300\r\n")
        << QString(K::TimeSett) << QString(K::TimeOutWrite) << QVariant(450)
        << QByteArray("[TimeSett]\r\nTimeOutRead=300\r\n[PathSett]\r\naTxtFilePath=x\r\n"
                      "[TimeSett]\r\nTimeOutWrite=450\r\n");
    QTest::newRow("Windows-1252 file written in Windows-1252")
        << QByteArray("[PathSett]\r\naTxtFilePath=C:\\M\xFCller\r\n") << QString(K::PathSett)
        << QString(K::TxtFilePath) << QVariant(QStringLiteral("D:\\Gr\u00FC\u00DFe \u20AC"))
        << QByteArray("[PathSett]\r\naTxtFilePath=D:\\Gr\xFC\xDF"
                      "e \x80\r\n");
    QTest::newRow("Windows-1252 file, a character it lacks: that line in UTF-8")
        << QByteArray("[PathSett]\r\naTxtFilePath=C:\\M\xFCller\r\n") << QString(K::PathSett)
        << QString(K::TxtFilePath) << QVariant(QStringLiteral("C:\\\u0141\u00F3d\u017A"))
        << QByteArray("[PathSett]\r\naTxtFilePath=C:\\\xC5\x81\xC3\xB3"
                      "d\xC5\xBA\r\n");
    QTest::newRow("value with outer blanks written in quotes")
        << QByteArray("[PathSett]\r\n") << QString(K::PathSett) << QString(K::TxtFilePath)
        << QVariant(QStringLiteral(" C:\\x "))
        << QByteArray("[PathSett]\r\naTxtFilePath=\" C:\\x \"\r\n");
    QTest::newRow("same value leaves the file alone")
        << QByteArray("[ProgSett]\n aLastPortNo = 3\n") << QString(K::ProgSett)
        << QString(K::LastPortNo) << QVariant(3) << QByteArray("[ProgSett]\n aLastPortNo = 3\n");
    QTest::newRow("UTF-8 byte order mark kept")
        << QByteArray("\xEF\xBB\xBF[PathSett]\r\naTxtFilePath=x\r\n") << QString(K::PathSett)
        << QString(K::TxtFilePath) << QVariant(QStringLiteral("C:\\Phones\\Müller"))
        << QByteArray("\xEF\xBB\xBF[PathSett]\r\naTxtFilePath=C:\\Phones\\M\xC3\xBCller\r\n");
    QTest::newRow("UTF-16LE stays UTF-16LE")
        << utf16LeWithBom(QStringLiteral("[PathSett]\r\naTxtFilePath=x\r\n"))
        << QString(K::PathSett) << QString(K::TxtFilePath)
        << QVariant(QStringLiteral("C:\\Phones\\Müller"))
        << utf16LeWithBom(QStringLiteral("[PathSett]\r\naTxtFilePath=C:\\Phones\\Müller\r\n"));
}

void TestSettings::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    if (!before.isNull())
        putFile(path, before);

    IniFile ini(path);
    bool ok = false;
    QVariant readBack;
    switch (value.typeId()) {
    case QMetaType::QString:
        ok = ini.writeString(section, key, value.toString());
        readBack = IniFile(path).readString(section, key);
        break;
    case QMetaType::Int:
        ok = ini.writeInteger(section, key, value.toInt());
        readBack = IniFile(path).readInteger(section, key, value.toInt() + 1);
        break;
    case QMetaType::Bool:
        ok = ini.writeBool(section, key, value.toBool());
        readBack = IniFile(path).readBool(section, key, !value.toBool());
        break;
    default:
        QFAIL("unexpected value type");
    }
    QVERIFY2(ok, qPrintable(ini.errorString()));
    QCOMPARE(ini.errorString(), QString());
    QCOMPARE(fileBytes(path), after);
    QCOMPARE(readBack, value);
}

void TestSettings::writeBuildsOnOtherWriters()
{
    // Two holders of the same file, as the settings dialog and the port scan
    // are: the second write must not bring back the first one's old content.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    IniFile first(path);
    IniFile second(path);
    QVERIFY(first.writeInteger(K::ProgSett, K::LastPortNo, 4));
    QVERIFY(second.writeString(K::PathSett, K::TxtFilePath, QStringLiteral("C:\\Phones")));
    QVERIFY(first.writeInteger(K::TimeSett, K::TimeOutRead, 450));

    const IniFile reader(path);
    QCOMPARE(reader.readInteger(K::ProgSett, K::LastPortNo, 0), 4);
    QCOMPARE(reader.readString(K::PathSett, K::TxtFilePath), QStringLiteral("C:\\Phones"));
    QCOMPARE(reader.readInteger(K::TimeSett, K::TimeOutRead, 0), 450);
    // The writer's own reads see the file as it wrote it.
    QCOMPARE(first.readString(K::PathSett, K::TxtFilePath), QStringLiteral("C:\\Phones"));
}

void TestSettings::lineBreakInValueIsRefused()
{
    // A line break would smuggle a line of its own into the file.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    const QByteArray before("[PathSett]\r\naTxtFilePath=x\r\n");
    putFile(path, before);

    IniFile ini(path);
    QVERIFY(!ini.writeString(K::PathSett, K::TxtFilePath, QStringLiteral("C:\\a\r\n[ProgSett]")));
    QVERIFY(!ini.errorString().isEmpty());
    QCOMPARE(fileBytes(path), before);
}

// Rows: a file's bytes and the key whose value is read and written back
// unchanged; the file keeps every byte.
void TestSettings::valueWrittenBackKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    const QString ps = K::PathSett;
    const QString tp = K::TxtFilePath;
    QTest::newRow("Windows-1252 path")
        << QByteArray("[PathSett]\r\naTxtFilePath=C:\\Phones\\M\xFCller\r\n") << ps << tp;
    QTest::newRow("undefined Windows-1252 bytes")
        << QByteArray("[PathSett]\r\naTxtFilePath=\x81\x8D\x8F\x90\x9D\r\n") << ps << tp;
    QTest::newRow("byte order mark, then bytes that are not UTF-8")
        << QByteArray("\xEF\xBB\xBF[PathSett]\r\naTxtFilePath=C:\\M\xFCller\r\n") << ps << tp;
    QTest::newRow("quotes and blanks")
        << QByteArray("[PathSett]\r\n  aTxtFilePath =  \"C:\\my lists\"  \r\n") << ps << tp;
    QTest::newRow("CR line ends, no final line end")
        << QByteArray("[PathSett]\raTxtFilePath=C:\\x\r[ProgSett]\raLastPortNo=7") << ps << tp;
    QTest::newRow("UTF-16LE with an odd last byte")
        << utf16LeWithBom(QStringLiteral("[PathSett]\r\naTxtFilePath=C:\\Müller\r\n")) + "\x41"
        << ps << tp;
}

void TestSettings::valueWrittenBackKeepsBytes()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    putFile(path, content);
    IniFile ini(path);
    const QString value = ini.readString(section, key, QStringLiteral("missing"));
    QVERIFY(value != QStringLiteral("missing"));
    QVERIFY(!value.contains(QChar::ReplacementCharacter));
    QVERIFY2(ini.writeString(section, key, value), qPrintable(ini.errorString()));
    QCOMPARE(fileBytes(path), content);
}

void TestSettings::unencodableValueIsRefused()
{
    // Half a UTF-16 pair has no bytes in any code page: a replacement
    // character would stand in its place for good.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    const QByteArray before("[PathSett]\r\naTxtFilePath=C:\\M\xFCller\r\n");
    putFile(path, before);

    IniFile ini(path);
    QVERIFY(!ini.writeString(K::PathSett, K::TxtFilePath,
                             QStringLiteral("C:\\") + QChar(char16_t(0xD800))));
    QVERIFY(ini.errorString().contains(QStringLiteral("code page")));
    QCOMPARE(fileBytes(path), before);
}

void TestSettings::settingsSavedUnchangedKeepCarriedOverBytes()
{
    // A file from a Windows PC: Windows-1252 path, duplicate section, CR
    // line ends in part. Apply with nothing changed keeps the path's bytes;
    // a changed time-out lands where the file holds it.
    const QByteArray carried = "[TimeSett]\r\nTimeOutRead=450\r\n"
                               "[PathSett]\raTxtFilePath=C:\\Telefone\\Gr\xFC\xDF"
                               "e\r"
                               "[TimeSett]\r\nTimeOutWrite=600\r\n";
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    putFile(path, carried);

    SettingsValues values = LoadSettingsValues(path);
    QCOMPARE(values.txtFilePath, QStringLiteral("C:\\Telefone\\Grüße"));
    QCOMPARE(values.timeOutWrite, 600);
    values.timeOutWrite = 800;
    QString error;
    QVERIFY2(SaveSettingsValues(path, values, &error), qPrintable(error));

    const QByteArray saved = fileBytes(path);
    QVERIFY(saved.startsWith("[TimeSett]\r\nTimeOutRead=450\r\n"));
    QVERIFY(saved.contains("[PathSett]\raTxtFilePath=C:\\Telefone\\Gr\xFC\xDF"
                           "e\r"));
    QVERIFY(saved.contains("[TimeSett]\r\nTimeOutWrite=800\r\n"));
    QCOMPARE(saved.count("TimeOutWrite="), 1);
    QCOMPARE(describe(LoadSettingsValues(path)), describe(values));
}

// Tests run as root, which chmod does not stop; these targets fail for
// anyone.
void TestSettings::unwritableTarget_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("folder is a regular file") << QStringLiteral("blocker/Korvel.x64.ini");
    QTest::newRow("missing folder") << QStringLiteral("missing/Korvel.x64.ini");
    QTest::newRow("target is a folder") << QStringLiteral("folder");
}

void TestSettings::unwritableTarget()
{
    QFETCH(QString, target);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray blockerBytes("[ProgSett]\r\naLastPortNo=3\r\n");
    putFile(dir.filePath(QStringLiteral("blocker")), blockerBytes);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    const QString path = dir.filePath(target);

    IniFile ini(path);
    QVERIFY(!ini.writeInteger(K::ProgSett, K::LastPortNo, 5));
    QVERIFY(!ini.errorString().isEmpty());

    QString error;
    QVERIFY(!SaveLastPort(path, 5, &error));
    QVERIFY(!error.isEmpty());
    error.clear();
    SettingsValues values;
    values.txtFilePath = QStringLiteral("C:\\Phones");
    QVERIFY(!SaveSettingsValues(path, values, &error));
    QVERIFY(!error.isEmpty());

    // Nothing changed, nothing left behind, and reading still works.
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("blocker"))), blockerBytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), entriesBefore);
    QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
    QCOMPARE(LoadLastPort(path), 0);
    QCOMPARE(LoadSettingsValues(path).txtFilePath, QString());
}

void TestSettings::settingsFilePath_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("ini");
    QTest::newRow("Windows folder")
        << QStringLiteral("C:/Korvel/Korvel.x64.exe") << QStringLiteral("C:/Korvel/Korvel.x64.ini");
    QTest::newRow("Linux folder") << QStringLiteral("/opt/korvel/Korvel.x64.exe")
                                  << QStringLiteral("/opt/korvel/Korvel.x64.ini");
    QTest::newRow("name without extension")
        << QStringLiteral("/usr/local/bin/korvel") << QStringLiteral("/usr/local/bin/korvel.ini");
    QTest::newRow("dot only in a folder name")
        << QStringLiteral("/opt/korvel.d/korvel") << QStringLiteral("/opt/korvel.d/korvel.ini");
}

void TestSettings::settingsFilePath()
{
    QFETCH(QString, executable);
    QFETCH(QString, ini);
    QCOMPARE(SettingsFilePath(executable), ini);
}

void TestSettings::missingFileReadsDefaults()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);

    SettingsValues expected;
    expected.timeOutProtokol = 300;
    expected.timeOutRead = 300;
    expected.timeOutWrite = 300;
    expected.usbOrSerial = 0;
    expected.sendReport = true;
    expected.warnings = true;
    expected.loadOnlyCurrent = false;
    expected.txtFilePath = QString();
    expected.txtTestFilePath = QString();
    expected.lastPortNo = 0;
    QCOMPARE(describe(LoadSettingsValues(path)), describe(expected));
    QCOMPARE(LoadLastPort(path), 0);
    QVERIFY(!QFile::exists(path));
}

void TestSettings::carriedOverFileLoadsAndKeepsItsLines()
{
    // A file as a technician brings it: its own case and notation, a bad
    // number, LF line ends in part, and a section the program does not know.
    const QByteArray carried = "[TimeSett]\r\n"
                               "TimeOutProtokol=0x1F4\r\n"
                               "timeoutread=450\r\n"
                               "TimeOutWrite=fast\r\n"
                               "aUSBorSerial=1\r\n"
                               "\r\n"
                               "[reportsett]\n"
                               "aSendReport=0\n"
                               "aWarnings=5\n"
                               "aLoadOnlyCurrent=1\n"
                               "[PathSett]\r\n"
                               "aTxtFilePath=C:\\Phones\\prog\r\n"
                               "aTxtTestFilePath=\\\\server\\share\\test files\r\n"
                               "[ProgSett]\r\n"
                               "aLastPortNo=7\r\n"
                               "[Window]\r\n"
                               "Left=100\r\n";
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    putFile(path, carried);

    SettingsValues expected;
    expected.timeOutProtokol = 500;
    expected.timeOutRead = 450;
    expected.timeOutWrite = 300;
    expected.usbOrSerial = 1;
    expected.sendReport = false;
    expected.warnings = true;
    expected.loadOnlyCurrent = true;
    expected.txtFilePath = QStringLiteral("C:\\Phones\\prog");
    expected.txtTestFilePath = QStringLiteral("\\\\server\\share\\test files");
    expected.lastPortNo = 7;
    SettingsValues loaded = LoadSettingsValues(path);
    QCOMPARE(describe(loaded), describe(expected));

    loaded.timeOutWrite = 800;
    loaded.timeOutRead = 300;
    loaded.txtFilePath = QStringLiteral("D:\\Lists\\prog");
    QString error;
    QVERIFY2(SaveSettingsValues(path, loaded, &error), qPrintable(error));
    QCOMPARE(describe(LoadSettingsValues(path)), describe(loaded));

    // The file's own lines stay, the known keys are not added a second time;
    // a rewritten line ends in CR LF among its LF neighbours.
    const QByteArray saved = fileBytes(path);
    QVERIFY(saved.contains("timeoutread=300\r\n"));
    QVERIFY(saved.contains("[reportsett]\naSendReport=0\naWarnings=1\r\naLoadOnlyCurrent=1\n"));
    QVERIFY(saved.endsWith("[ProgSett]\r\naLastPortNo=7\r\n[Window]\r\nLeft=100\r\n"));
    QCOMPARE(saved.toLower().count("timeoutread="), 1);
    QCOMPARE(saved.toLower().count("[timesett]"), 1);
    QCOMPARE(saved.toLower().count("[reportsett]"), 1);
}

void TestSettings::saveToNewFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);

    SettingsValues values;
    values.timeOutProtokol = 500;
    values.timeOutRead = 450;
    values.timeOutWrite = 800;
    values.usbOrSerial = PortTypeRs232;
    values.sendReport = false;
    values.warnings = true;
    values.loadOnlyCurrent = true;
    values.txtFilePath = QStringLiteral("C:\\Phones\\prog");
    values.txtTestFilePath = QStringLiteral("C:\\Phones\\test");
    values.lastPortNo = 9;
    QString error;
    QVERIFY2(SaveSettingsValues(path, values, &error), qPrintable(error));

    // Sections and keys in their order; the last port is not one of the nine.
    QCOMPARE(fileBytes(path), QByteArray("[TimeSett]\r\n"
                                         "TimeOutProtokol=500\r\n"
                                         "TimeOutRead=450\r\n"
                                         "TimeOutWrite=800\r\n"
                                         "aUSBorSerial=1\r\n"
                                         "[ReportSett]\r\n"
                                         "aSendReport=0\r\n"
                                         "aWarnings=1\r\n"
                                         "aLoadOnlyCurrent=1\r\n"
                                         "[PathSett]\r\n"
                                         "aTxtFilePath=C:\\Phones\\prog\r\n"
                                         "aTxtTestFilePath=C:\\Phones\\test\r\n"));
    SettingsValues expected = values;
    expected.lastPortNo = 0;
    QCOMPARE(describe(LoadSettingsValues(path)), describe(expected));
}

void TestSettings::saveSettingsLeavesLastPortAlone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);

    QVERIFY(SaveLastPort(path, 5));
    SettingsValues values = LoadSettingsValues(path); // at start
    QCOMPARE(values.lastPortNo, 5);
    QVERIFY(SaveLastPort(path, 9)); // a scan found the box elsewhere
    values.txtFilePath = QStringLiteral("C:\\Phones");
    QVERIFY(SaveSettingsValues(path, values)); // "Apply settings"
    QCOMPARE(LoadLastPort(path), 9);

    QVERIFY(SaveLastPort(path, 12));
    QCOMPARE(LoadLastPort(path), 12);
    QCOMPARE(LoadSettingsValues(path).txtFilePath, QStringLiteral("C:\\Phones"));
}

void TestSettings::verifyWriteKey_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("progSett");  // what [ProgSett] holds afterwards
    QTest::newRow("off, never set") << QByteArray("[ProgSett]\r\naLastPortNo=7\r\n") << false
                                    << QByteArray("[ProgSett]\r\naLastPortNo=7\r\n");
    QTest::newRow("switched on") << QByteArray("[ProgSett]\r\naLastPortNo=7\r\n") << true
                                 << QByteArray("[ProgSett]\r\naLastPortNo=7\r\naVerifyWrite=1\r\n");
    QTest::newRow("switched off again")
        << QByteArray("[ProgSett]\r\naVerifyWrite=1\r\n") << false
        << QByteArray("[ProgSett]\r\naVerifyWrite=0\r\n");
}

void TestSettings::verifyWriteKey()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, on);
    QFETCH(QByteArray, progSett);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    SettingsValues values = LoadSettingsValues(path);
    QCOMPARE(values.verifyWrite, before.contains("aVerifyWrite=1"));
    values.verifyWrite = on;
    QVERIFY(SaveSettingsValues(path, values));
    const QByteArray bytes = fileBytes(path);
    QVERIFY2(bytes.startsWith(progSett), bytes.constData());
    QCOMPARE(LoadSettingsValues(path).verifyWrite, on);
}

void TestSettings::timeOutsAtStartup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("changed");

    QTest::newRow("no file") << QByteArray() << QString();
    QTest::newRow("protocol time-out used as stored, below the dialog's range")
        << QByteArray("[TimeSett]\r\nTimeOutProtokol=150\r\n")
        << QStringLiteral("TSearchArvo=150 TSearchKennung=150 TSelMemReadDevice=150 "
                          "TSelMemWriteDevice=150 TReset=150 TClosePort=150");
    QTest::newRow("read time-out not into TReadParams")
        << QByteArray("[TimeSett]\r\nTimeOutRead=0x1F4\r\n")
        << QStringLiteral("TReadSerials=500 TReadSerialsExt=500");
    QTest::newRow("write time-out only into TWriteSerials")
        << QByteArray("[TimeSett]\r\nTimeOutWrite=800\r\n") << QStringLiteral("TWriteSerials=800");
}

void TestSettings::timeOutsAtStartup()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, changed);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    if (!content.isNull())
        putFile(path, content);

    Timers timers;
    ApplyTimeOuts(LoadSettingsValues(path), TimeOutOccasion::Startup, timers.list());
    timers.verifyIntervals(changed);
}

void TestSettings::storedTimeOutsOutOfRangeAreBroughtIntoRangeByApply()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(IniName);
    putFile(path, "[TimeSett]\r\nTimeOutProtokol=150\r\nTimeOutRead=1000\r\nTimeOutWrite=800\r\n");

    Timers timers;
    SettingsValues values = LoadSettingsValues(path);
    ApplyTimeOuts(values, TimeOutOccasion::Startup, timers.list());

    // The dialog shows the holding timers' intervals, brought into range.
    SettingsValues fields = values;
    fields.timeOutProtokol =
        ClampTimeOut(timers.interval(TimerHoldingTimeOut(TimeOutKind::Protokol)));
    fields.timeOutRead = ClampTimeOut(timers.interval(TimerHoldingTimeOut(TimeOutKind::Read)));
    fields.timeOutWrite = ClampTimeOut(timers.interval(TimerHoldingTimeOut(TimeOutKind::Write)));
    QCOMPARE(fields.timeOutProtokol, 200);
    QCOMPARE(fields.timeOutRead, 999);
    QCOMPARE(fields.timeOutWrite, 800);

    // "Apply settings": the fields into the timers, the timers into the file.
    ApplyTimeOuts(fields, TimeOutOccasion::Apply, timers.list());
    timers.verifyIntervals(QStringLiteral(
        "TSearchArvo=200 TSearchKennung=200 TSelMemReadDevice=200 TSelMemWriteDevice=200 "
        "TReset=200 TClosePort=200 TReadSerials=999 TReadParams=999 TReadSerialsExt=999 "
        "TWriteSerials=800 TWriteParams=800 TWriteSerialsExt=800"));
    SettingsValues toSave = values;
    toSave.timeOutProtokol = toSave.timeOutRead = toSave.timeOutWrite = -1;
    TakeTimeOutsFromTimers(timers.list(), toSave);
    QVERIFY(SaveSettingsValues(path, toSave));
    const SettingsValues stored = LoadSettingsValues(path);
    QCOMPARE(stored.timeOutProtokol, 200);
    QCOMPARE(stored.timeOutRead, 999);
    QCOMPARE(stored.timeOutWrite, 800);
}

void TestSettings::rs232PresetReachesAllTwelveTimers()
{
    Timers timers;
    ApplyTimeOuts(SettingsValues(), TimeOutOccasion::Startup, timers.list());

    SettingsValues fields;
    fields.usbOrSerial = PortTypeRs232;
    fields.timeOutProtokol = fields.timeOutRead = fields.timeOutWrite =
        TimeOutPreset(fields.usbOrSerial);
    ApplyTimeOuts(fields, TimeOutOccasion::Apply, timers.list());
    timers.verifyIntervals(QStringLiteral(
        "TSearchArvo=500 TSearchKennung=500 TSelMemReadDevice=500 TSelMemWriteDevice=500 "
        "TReset=500 TClosePort=500 TReadSerials=500 TReadParams=500 TReadSerialsExt=500 "
        "TWriteSerials=500 TWriteParams=500 TWriteSerialsExt=500"));

    fields.timeOutProtokol = fields.timeOutRead = fields.timeOutWrite = TimeOutPreset(PortTypeUsb);
    ApplyTimeOuts(fields, TimeOutOccasion::Apply, timers.list());
    timers.verifyIntervals(QString());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
