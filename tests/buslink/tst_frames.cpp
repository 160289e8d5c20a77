#include "frames.h"
#include "hexutil.h"
#include "operationlog.h"
#include "seriallink.h"

#include <QtTest>

namespace {
// Records what is sent; refuses while closed, as a real port does.
class RecordingLink : public SerialLink
{
public:
    bool isAccessible() override { return true; }
    bool open() override { return m_open = true; }
    bool close() override { m_open = false; return true; }
    bool isOpen() const override { return m_open; }
    bool send(const QByteArray &bytes) override
    {
        if (!m_open) {
            setLastError(QStringLiteral("the port is closed"));
            return false;
        }
        sent.append(bytes);
        return true;
    }
    QList<int> existingPorts() override { return {}; }
    void push(const QByteArray &bytes) { feed(bytes); }
    QList<QByteArray> sent;

private:
    bool m_open = false;
};
} // namespace

class TestFrames : public QObject
{
    Q_OBJECT
private slots:
    void commandTable_data();
    void commandTable();
    void replyPayload_data();
    void replyPayload();
    void hexConversions_data();
    void hexConversions();
    void sendPathLogLines();
    void refusedSendIsReported();
    void lineModeDeliversOneEventPerLine();
};

void TestFrames::commandTable_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("SearchInterface") << SearchInterfaceFrame() << QByteArray::fromHex("012E334604");
    QTest::newRow("InitQBXBUS MAIN") << InitQBXBUSFrame(Frame::InitMain) << QByteArray::fromHex("01203538303204");
    QTest::newRow("InitQBXBUS EXT") << InitQBXBUSFrame(Frame::InitExt) << QByteArray::fromHex("01203538303304");
    QTest::newRow("SearchDevice") << SearchDeviceFrame() << QByteArray::fromHex("01203532303004");
    QTest::newRow("CheckSeriesType 74565") << CheckSeriesTypeFrame(74565)
                                           << QByteArray::fromHex("0120353132333435433004");
    QTest::newRow("CheckSeriesType 4660 unpadded") << CheckSeriesTypeFrame(4660)
                                                   << QByteArray("\x01 51234C0\x04");
    QTest::newRow("CheckSeriesType 0") << CheckSeriesTypeFrame(0) << QByteArray("\x01 50C0\x04");
    QTest::newRow("SelMemAccess 74565") << SelMemAccessFrame(74565)
                                        << QByteArray::fromHex("0120383130313233343504");
    QTest::newRow("SelMemAccess 4660") << SelMemAccessFrame(4660) << QByteArray("\x01 8101234\x04");
    QTest::newRow("SelMemAccess 0") << SelMemAccessFrame(0) << QByteArray("\x01 8100\x04");
    QTest::newRow("ReadLocation 0x8408") << ReadLocationFrame(0x8408)
                                         << QByteArray::fromHex("01203834303804");
    QTest::newRow("WriteData 0x8208 ABCD") << WriteDataFrame(0x8208, QStringLiteral("ABCD"))
                                           << QByteArray::fromHex("0120383230384142434404");
    QTest::newRow("ResetDevice") << ResetDeviceFrame() << QByteArray::fromHex("01203531303004");
    QTest::newRow("BuildCommand zero, no head or tail") << BuildCommand(0) << QByteArray("\x01 0\x04");
    QTest::newRow("BuildCommand lower-case never") << BuildCommand(0xabcdef) << QByteArray("\x01 ABCDEF\x04");
    QTest::newRow("BuildMemoryCommand 0 0") << BuildMemoryCommand(0, 0) << QByteArray("\x01 00\x04");
}

void TestFrames::commandTable()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, bytes);
    QCOMPARE(frame.toHex(' '), bytes.toHex(' '));
}

void TestFrames::replyPayload_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("payload");

    QTest::newRow("EOT only") << QByteArray("\x04") << QString();
    QTest::newRow("one character and EOT") << QByteArray("A\x04") << QString();
    QTest::newRow("SOH, leading char, 1, EOT") << QByteArray("\x01:1\x04") << QStringLiteral("1");
    QTest::newRow("without leading char") << QByteArray("\x01" "1\x04") << QString();
    QTest::newRow("blanks around") << QByteArray("  \x01 :0ABCD \x04") << QStringLiteral("0ABCD");
    QTest::newRow("inner blank kept") << QByteArray("\x01:12 34\x04") << QStringLiteral("12 34");
    QTest::newRow("empty line") << QByteArray() << QString();
    QTest::newRow("3F") << QByteArray("\x01.3F\x04") << QStringLiteral("3F");
}

void TestFrames::replyPayload()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, payload);
    QCOMPARE(ReplyPayload(line), payload);
}

void TestFrames::hexConversions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("decimal");

    QTest::newRow("ABCD") << "ABCD" << true << "43981";
    QTest::newRow("1ABCD") << "1ABCD" << true << "109517";
    QTest::newRow("lower case") << "abcd" << true << "43981";
    QTest::newRow("zero") << "0" << true << "0";
    QTest::newRow("FFFFF") << "FFFFF" << true << "1048575";
    QTest::newRow("32 bits") << "FFFFFFFF" << true << "4294967295";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("not hex") << "12G4" << false << "";
    QTest::newRow("sign") << "-1" << false << "";
    QTest::newRow("prefix") << "0x12" << false << "";
    QTest::newRow("beyond 32 bits") << "100000000" << false << "";
}

void TestFrames::hexConversions()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, decimal);
    bool converted = !ok;
    QCOMPARE(HexToDecimalText(text, &converted), decimal);
    QCOMPARE(converted, ok);
    HexToInt(text, &converted);
    QCOMPARE(converted, ok);
}

void TestFrames::sendPathLogLines()
{
    OperationLog log;
    RecordingLink link;
    link.open();

    QVERIFY(SendFrame(log, link, InitQBXBUSFrame(Frame::InitMain)));
    QVERIFY(SendWriteData(log, link, 0x8208, QStringLiteral("ABCD")));
    QVERIFY(SendReadLocation(log, link, 0x8408));
    QVERIFY(SendResetDevice(log, link));
    QVERIFY(SendFrame(log, link, SearchInterfaceFrame()));

    const QString stamp = QStringLiteral("^> .+ Sending: ");
    QCOMPARE(log.count(), 6);
    QVERIFY(QRegularExpression(stamp + "5802$").match(log.lines().at(0)).hasMatch());
    QCOMPARE(log.lines().at(1), QStringLiteral("> Location to write data: 8208"));
    QVERIFY(QRegularExpression(stamp + "8208ABCD$").match(log.lines().at(2)).hasMatch());
    QCOMPARE(log.lines().at(3), QStringLiteral("> EEPROM Location: 8408"));
    QCOMPARE(log.lines().at(4), QStringLiteral("> Reset device"));
    QVERIFY(QRegularExpression(stamp + "\\.3F$").match(log.lines().at(5)).hasMatch());
    for (const QString &line : log.lines()) {
        QVERIFY2(!line.contains(QChar(1)) && !line.contains(QChar(4)), qPrintable(line));
    }
    QCOMPARE(link.sent.size(), 5);
    QCOMPARE(link.sent.at(2), ReadLocationFrame(0x8408));
}

void TestFrames::refusedSendIsReported()
{
    OperationLog log;
    RecordingLink link;
    link.setPortNumber(4);
    QVERIFY(!SendFrame(log, link, SearchDeviceFrame()));
    QVERIFY(link.sent.isEmpty());
    QCOMPARE(log.count(), 2);
    QVERIFY(log.lines().at(0).endsWith(QStringLiteral("Sending: 5200")));
    QVERIFY(log.lastLine().startsWith(QStringLiteral("[ERROR] Port COM4")));
}

void TestFrames::lineModeDeliversOneEventPerLine()
{
    RecordingLink link;
    link.setLineMode(true);
    link.setLineEnd(Frame::EOT);
    QStringList payloads;
    int depth = 0;
    int maxDepth = 0;
    connect(&link, &SerialLink::dataAvailable, this, [&]() {
        maxDepth = qMax(maxDepth, ++depth);
        payloads.append(ReplyPayload(link.receiveLine()));
        // A handler that lets more bytes arrive is not re-entered.
        if (payloads.size() == 1)
            link.push(QByteArray("\x01:3\x04"));
        --depth;
    });
    link.push(QByteArray("\x01:1"));
    QVERIFY(payloads.isEmpty());
    link.push(QByteArray("\x04\x01:2\x04\x01"));
    link.push(QByteArray(":4\x04"));
    QCOMPARE(payloads, (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(maxDepth, 1);
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
