#include "dialogs.h"
#include "paramblock.h"

#include <QtTest>

class TestParamBlock : public QObject
{
    Q_OBJECT
private slots:
    void conversions_data();
    void conversions();
    void everyByteConverts();
    void notBinary_data();
    void notBinary();
    void writeRefusesMalformed_data();
    void writeRefusesMalformed();
};

void TestParamBlock::conversions_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QString>("binaryIn"); // fed to BinToHex
    QTest::addColumn<QString>("hexOut");

    QTest::newRow("3F") << "3F"
                        << "00111111"
                        << "00111111"
                        << "3F";
    QTest::newRow("lower case digits") << "a5"
                                       << "10100101"
                                       << "10100101"
                                       << "A5";
    QTest::newRow("padded to four") << "5"
                                    << "0101"
                                    << "101"
                                    << "5";
    QTest::newRow("padded to eight") << "85"
                                     << "10000101"
                                     << "0010000101"
                                     << "085";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "";
}

void TestParamBlock::conversions()
{
    QFETCH(QString, hex);
    QFETCH(QString, binary);
    QFETCH(QString, binaryIn);
    QFETCH(QString, hexOut);

    ScriptedDialogs dialogs;
    bool ok = false;
    QCOMPARE(HexToBin(hex, &ok), binary);
    QVERIFY(ok);
    QCOMPARE(BinToHex(binaryIn, dialogs), hexOut);
    QVERIFY(dialogs.shown.isEmpty());
}

void TestParamBlock::everyByteConverts()
{
    ScriptedDialogs dialogs;
    for (int value = 0; value < 256; ++value) {
        const QString hex = QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
        bool hexOk = false;
        const QString binary = HexToBin(hex, &hexOk);
        QVERIFY(hexOk);
        QCOMPARE(binary.size(), 8);
        bool binOk = false;
        QCOMPARE(BinToInt(binary, &binOk), qint64(value));
        QVERIFY(binOk);
        QCOMPARE(BinToHex(binary, dialogs), hex);
    }
    QVERIFY(dialogs.shown.isEmpty());
}

void TestParamBlock::notBinary_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("digit 2") << "1021";
    QTest::newRow("blank") << "10 1";
    QTest::newRow("hex") << "1F";
}

void TestParamBlock::notBinary()
{
    QFETCH(QString, text);

    ScriptedDialogs dialogs;
    QCOMPARE(BinToHex(text, dialogs), QString());
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown.at(0).kind, Dialogs::Kind::Error);
    QCOMPARE(dialogs.shown.at(0).buttons, Dialogs::Buttons::Ok);
    QCOMPARE(dialogs.shown.at(0).text, QStringLiteral("This is not binary number"));

    bool ok = true;
    QCOMPARE(BinToInt(text, &ok), qint64(0));
    QVERIFY(!ok);
    // A hexadecimal text that is not one gives no binary digits either.
    QCOMPARE(HexToBin(text + QLatin1Char('G'), &ok), QString());
    QVERIFY(!ok);
}

void TestParamBlock::writeRefusesMalformed_data()
{
    QTest::addColumn<QString>("readBlock");
    QTest::addColumn<int>("asAddress");
    QTest::addColumn<int>("rContactTime");
    QTest::addColumn<int>("indoorDeviceTime");
    QTest::addColumn<bool>("written");

    QTest::newRow("in range") << DefaultParamBlock << 63 << 7 << 15 << true;
    QTest::newRow("AS address 64") << DefaultParamBlock << 64 << 7 << 15 << false;
    QTest::newRow("R contact time 8") << DefaultParamBlock << 0 << 8 << 0 << false;
    QTest::newRow("R contact time -1") << DefaultParamBlock << 0 << -1 << 0 << false;
    QTest::newRow("indoor time 16") << DefaultParamBlock << 0 << 0 << 16 << false;
    QTest::newRow("short block") << "004077800001020" << 0 << 0 << 0 << false;
    QTest::newRow("not hexadecimal") << "00407780000102X0" << 0 << 0 << 0 << false;
}

void TestParamBlock::writeRefusesMalformed()
{
    QFETCH(QString, readBlock);
    QFETCH(int, asAddress);
    QFETCH(int, rContactTime);
    QFETCH(int, indoorDeviceTime);
    QFETCH(bool, written);

    ScriptedDialogs dialogs;
    ParamSettings s;
    s.asAddress = asAddress;
    s.rContactTime = rContactTime;
    s.indoorDeviceTime = indoorDeviceTime;
    const QString block = WriteParamSettings(s, readBlock, dialogs);
    QCOMPARE(IsParamBlock(block), written);
    QCOMPARE(block.isEmpty(), !written);
    if (written)
        QCOMPARE(ReadParamSettings(block), std::optional<ParamSettings>(s));
    QVERIFY(dialogs.shown.isEmpty());
}

QTEST_GUILESS_MAIN(TestParamBlock)
#include "tst_memimage_params.moc"
