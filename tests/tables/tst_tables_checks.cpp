#include "tablefixture.h"

#include <QtTest>

namespace
{

const QString EmptyDevices =
    QStringLiteral("Devices table is empty!\r\nPlease, click on button \"Find devices\"");
const QString TwoMains = QStringLiteral("There can not be two or more MAIN devices active!");
const QString NoMain = QStringLiteral("There must be one MAIN device active!");
const QString MainKeys = QStringLiteral("Number of buttons in MAIN is not set!");
const QString ExtKeys = QStringLiteral("Number of buttons in EXT is not set!");
const QString MainOrder = QStringLiteral("Order number of MAIN must be 0!");
const QString ExtOrders = QStringLiteral("Order numbers for EXT must be in 1..2..3..4..5!");

QString keyCountMessage(int total, int rows)
{
    return QStringLiteral("Sum of device keys[%1] is not the same as record count[%2] in phone "
                          "table!")
        .arg(total)
        .arg(rows);
}

} // namespace

class TestChecks : public QObject
{
    Q_OBJECT
private slots:
    void checkDataError_data();
    void checkDataError();
    void checkDataErrorRestoresView_data();
    void checkDataErrorRestoresView();
    void checkTotalBtnNo_data();
    void checkTotalBtnNo();
    void sendLengthQuestion_data();
    void sendLengthQuestion();
};

void TestChecks::checkDataError_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<int>("phoneRows");
    QTest::addColumn<bool>("broken");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty device table") << "" << 0 << true << 0 << EmptyDevices;
    QTest::newRow("two active MAINs, total still returned")
        << "M0:4 M1:6 E2:16" << 0 << true << 26 << TwoMains;
    QTest::newRow("no active MAIN") << "m0:4 E1:16" << 0 << true << 16 << NoMain;
    QTest::newRow("MAIN and EXT without buttons: MAIN only")
        << "M0:0 E1:0" << 0 << true << 0 << MainKeys;
    QTest::newRow("EXT without buttons") << "M0:4 E1:16 E2:0" << 0 << true << 20 << ExtKeys;
    QTest::newRow("MAIN order 1") << "M1:4 E1:16" << 0 << true << 20 << MainOrder;
    QTest::newRow("EXT orders 1 and 3") << "M0:4 E1:16 E3:16" << 0 << true << 36 << ExtOrders;
    QTest::newRow("single EXT with order 2") << "M0:4 E2:16" << 0 << true << 20 << ExtOrders;
    QTest::newRow("EXT order repeated") << "M0:4 E1:16 E1:16" << 0 << true << 36 << ExtOrders;
    QTest::newRow("six EXTs") << "M0:4 E1:16 E2:16 E3:16 E4:16 E5:16 E6:16" << 0 << true << 100
                              << ExtOrders;
    QTest::newRow("inactive EXT between 1 and 3")
        << "M0:4 E1:16 e2:16 E3:16" << 0 << true << 36 << ExtOrders;
    QTest::newRow("phone table longer than the buttons")
        << "M0:4 E1:16" << 21 << true << 20 << keyCountMessage(20, 21);
    QTest::newRow("phone table shorter than the buttons")
        << "M0:4 E1:16" << 19 << true << 20 << keyCountMessage(20, 19);
    QTest::newRow("phone table matches") << "M0:4 E1:16" << 20 << false << 20 << QString();
    QTest::newRow("empty phone table passes") << "M0:4 E1:16" << 0 << false << 20 << QString();
    QTest::newRow("five EXTs") << "M0:20 E1:26 E2:26 E3:26 E4:26 E5:26" << 0 << false << 150
                               << QString();
    // Every active row that is not a MAIN takes an EXT position.
    QTest::newRow("a row of neither type counts as an EXT")
        << "M0:4 X1:16 E2:16" << 0 << false << 36 << QString();
    QTest::newRow("a row of neither type without buttons")
        << "M0:4 X1:0" << 0 << true << 4 << ExtKeys;
    QTest::newRow("inactive rows take no part")
        << "m0:0 M0:4 e7:-3 E1:16 e1:0" << 0 << false << 20 << QString();
}

void TestChecks::checkDataError()
{
    QFETCH(QString, devices);
    QFETCH(int, phoneRows);
    QFETCH(bool, broken);
    QFETCH(int, total);
    QFETCH(QString, message);

    TablesFixture f;
    QVERIFY(f.addDevices(devices));
    QVERIFY(f.addPhones(phoneRows));
    f.devices().first();
    const MemTable::Bookmark current = f.devices().bookmark();
    const int deviceRows = f.devices().recordCount();

    qint32 aTotalKeyNo = -1;
    QCOMPARE(f.tables.CheckDataError(aTotalKeyNo), broken);
    QCOMPARE(aTotalKeyNo, total);

    if (message.isEmpty()) {
        QVERIFY(f.dialogs.shown.isEmpty());
    } else {
        QCOMPARE(f.dialogs.shownTexts(), QStringList{message});
        QCOMPARE(f.dialogs.shown.first().kind, Dialogs::Kind::Error);
        QCOMPARE(f.dialogs.shown.first().buttons, Dialogs::Buttons::Ok);
    }
    // The check changes nothing the technician can see.
    QVERIFY(!f.devices().isFiltered());
    QVERIFY(!f.devices().controlsDisabled());
    QCOMPARE(f.devices().recordCount(), deviceRows);
    QCOMPARE(f.devices().bookmark(), current);
    QCOMPARE(f.phones().recordCount(), phoneRows);
}

void TestChecks::checkDataErrorRestoresView_data()
{
    QTest::addColumn<bool>("filtered");
    QTest::addColumn<qint32>("currentSerial");

    // Serials follow the description below: 70001 M0, 70002 e2, 70003 E1.
    QTest::newRow("full table, inactive row current") << false << qint32(70002);
    QTest::newRow("restricted by a running read") << true << qint32(70003);
}

void TestChecks::checkDataErrorRestoresView()
{
    QFETCH(bool, filtered);
    QFETCH(qint32, currentSerial);

    TablesFixture f;
    QVERIFY(f.addDevices("M0:4 e2:16 E1:16"));
    f.devices().setFiltered(filtered);
    QVERIFY(f.devices().locate(DeviceTable::SerialNo, currentSerial));
    QSignalSpy rowChanges(&f.devices(), &MemTable::currentRowChanged);

    qint32 total = 0;
    QVERIFY(!f.tables.CheckDataError(total));
    QCOMPARE(total, 20);

    QCOMPARE(f.devices().isFiltered(), filtered);
    QCOMPARE(f.devices().intValue(DeviceTable::SerialNo).value_or(-1), currentSerial);
    QCOMPARE(rowChanges.count(), 0);
}

void TestChecks::checkTotalBtnNo_data()
{
    QTest::addColumn<QString>("series");
    QTest::addColumn<qint32>("deviceType");
    QTest::addColumn<QVariant>("keyNo");
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QVariant>("expectedKeyNo");
    QTest::addColumn<bool>("warned");

    QTest::newRow("Pentry 5 becomes 4, Enter")
        << "Pentry" << 0 << QVariant(5) << true << "enter" << QVariant(4) << true;
    QTest::newRow("Korvel EXT 4 becomes 26, click")
        << "Korvel" << 1 << QVariant(4) << true << "click" << QVariant(26) << true;
    QTest::newRow("Korvel MAIN 5 becomes 20")
        << "Korvel" << 0 << QVariant(5) << true << "check" << QVariant(20) << true;
    QTest::newRow("Unsupported 3 becomes 0")
        << "Unsupported" << 0 << QVariant(3) << true << "check" << QVariant(0) << true;
    QTest::newRow("warnings off keeps 5")
        << "Pentry" << 0 << QVariant(5) << false << "enter" << QVariant(5) << false;
    QTest::newRow("0 is not set") << "Pentry" << 0 << QVariant(0) << true << "click" << QVariant(0)
                                  << false;
    QTest::newRow("empty is not set")
        << "Pentry" << 0 << QVariant() << true << "check" << QVariant() << false;
    QTest::newRow("a choice stays")
        << "Korvel" << 1 << QVariant(20) << true << "check" << QVariant(20) << false;
    QTest::newRow("no choices for a Korvel of neither type")
        << "Korvel" << 2 << QVariant(7) << true << "check" << QVariant(7) << false;
}

void TestChecks::checkTotalBtnNo()
{
    QFETCH(QString, series);
    QFETCH(qint32, deviceType);
    QFETCH(QVariant, keyNo);
    QFETCH(bool, warnings);
    QFETCH(QString, trigger);
    QFETCH(QVariant, expectedKeyNo);
    QFETCH(bool, warned);

    TablesFixture f;
    f.showWarnings = warnings;
    QVERIFY(f.devices().appendFoundDevice(70001, deviceType, deviceType));
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::SeriesTypeStr, series));
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, keyNo));

    if (trigger == QLatin1String("click"))
        f.tables.deviceCellClicked(DeviceTable::DeviceKeyNo);
    else if (trigger == QLatin1String("enter"))
        f.tables.deviceEnterPressed();
    else
        f.tables.CheckTotalBtnNo();

    QCOMPARE(f.devices().value(DeviceTable::DeviceKeyNo), expectedKeyNo);
    if (warned) {
        const QString text = QStringLiteral("Total BtnNo[%1] in device table is not possible to "
                                            "select!\r\nReverting to highest possible BtnNo!")
                                 .arg(keyNo.toInt());
        QCOMPARE(f.dialogs.shownTexts(), QStringList{text});
        QCOMPARE(f.dialogs.shown.first().kind, Dialogs::Kind::Warning);
        QCOMPARE(f.dialogs.shown.first().buttons, Dialogs::Buttons::Ok);
    } else {
        QVERIFY(f.dialogs.shown.isEmpty());
    }
}

void TestChecks::sendLengthQuestion_data()
{
    QTest::addColumn<int>("phoneRows");
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<bool>("asked");

    QTest::newRow("empty phone table, OK") << 0 << true << false << true << true;
    QTest::newRow("empty phone table, Cancel") << 0 << true << true << false << true;
    QTest::newRow("warnings off") << 0 << false << true << true << false;
    QTest::newRow("lengths match") << 20 << true << true << true << false;
}

void TestChecks::sendLengthQuestion()
{
    QFETCH(int, phoneRows);
    QFETCH(bool, warnings);
    QFETCH(bool, cancel);
    QFETCH(bool, goOn);
    QFETCH(bool, asked);

    TablesFixture f;
    f.showWarnings = warnings;
    QVERIFY(f.addDevices("M0:4 E1:16"));
    QVERIFY(f.addPhones(phoneRows));
    qint32 total = 0;
    QVERIFY(!f.tables.CheckDataError(total));
    f.dialogs.answers = {cancel ? Dialogs::Answer::Cancel : Dialogs::Answer::Ok};

    QCOMPARE(f.tables.confirmSendLength(total), goOn);
    if (asked) {
        QCOMPARE(f.dialogs.shownTexts(),
                 QStringList{QStringLiteral("Total BtnNo selected in device table [20] is not "
                                            "same as record count of phone table [0] !\r\n"
                                            "Do you want to continue?")});
        QCOMPARE(f.dialogs.shown.first().kind, Dialogs::Kind::Warning);
        QCOMPARE(f.dialogs.shown.first().buttons, Dialogs::Buttons::OkCancel);
    } else {
        QVERIFY(f.dialogs.shown.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestChecks)
#include "tst_tables_checks.moc"
