#include "seriestype.h"
#include "tablefixture.h"

#include <QtTest>

namespace
{

QList<qint32> column(MemTable &table, int field)
{
    QList<qint32> out;
    for (int i = 0; i < table.recordCount(); ++i) {
        const QVariant v = table.valueAt(i, field);
        out.append(v.isNull() ? -1 : v.toInt());
    }
    return out;
}

QList<qint32> range(qint32 from, int count)
{
    QList<qint32> out;
    for (int i = 0; i < count; ++i)
        out.append(from + i);
    return out;
}

} // namespace

class TestTables : public QObject
{
    Q_OBJECT
private slots:
    // Dataset behaviour the other folders rely on.
    void deviceOrderAndCursor();
    void activeFilterAndBookmarks();
    void deleteWhileWalking();
    void insertFromGrid();
    void deviceTypeCalc_data();
    void deviceTypeCalc();
    void viewNotificationsHeldWhileDisabled();
    void phoneSerialRange_data();
    void phoneSerialRange();
    void appendRowRefusesWholeRow();

    // Field helpers.
    void setFieldForAllReturnsAfterFailure();
    void setFieldForAllVisitsEveryRow();

    // Device grid rules.
    void buttonCountChoices_data();
    void buttonCountChoices();
    void toggleCheckBox_data();
    void toggleCheckBox();
    void clearingRule_data();
    void clearingRule();

    // Buttons under the phone grid.
    void clearData();
    void setTestData_data();
    void setTestData();
    void setTestDataPresses();
    void setTestDataRefillsForeignList();
};

void TestTables::deviceOrderAndCursor()
{
    DeviceTable table;
    table.first();
    QVERIFY(table.eof());
    QVERIFY(!table.hasCurrent());

    QVERIFY(table.appendFoundDevice(3, 1, 2));
    QVERIFY(table.appendFoundDevice(1, 0, 0));
    QVERIFY(table.appendFoundDevice(2, 1, 1));
    QCOMPARE(column(table, DeviceTable::SerialNo), (QList<qint32>{1, 2, 3}));

    // Walking from the first row visits the order and ends at eof.
    QList<qint32> walked;
    for (table.first(); !table.eof(); table.next())
        walked.append(*table.intValue(DeviceTable::SerialNo));
    QCOMPARE(walked, (QList<qint32>{1, 2, 3}));

    // A new order number moves the row; it stays the current row.
    QVERIFY(table.locate(DeviceTable::SerialNo, 1));
    QVERIFY(SetFieldValue(table, DeviceTable::DeviceOrder, 9));
    QCOMPARE(column(table, DeviceTable::SerialNo), (QList<qint32>{2, 3, 1}));
    QCOMPARE(table.currentPosition(), 2);
    QCOMPARE(*table.intValue(DeviceTable::SerialNo), 1);

    // Lookup reads without moving; a failed locate does not move either.
    QCOMPARE(table.lookup(DeviceTable::SerialNo, 3, DeviceTable::DeviceOrder), QVariant(2));
    QVERIFY(!table.lookup(DeviceTable::SerialNo, 4, DeviceTable::DeviceOrder).has_value());
    QVERIFY(!table.locate(DeviceTable::SerialNo, 4));
    QCOMPARE(*table.intValue(DeviceTable::SerialNo), 1);

    table.clear();
    QVERIFY(table.isEmpty());
    QVERIFY(!table.hasCurrent());
}

void TestTables::activeFilterAndBookmarks()
{
    TablesFixture f;
    QVERIFY(f.addDevices("M0:4 e1:16 E2:16"));
    DeviceTable &table = f.devices();
    QVERIFY(table.locate(DeviceTable::SerialNo, 70002));
    const MemTable::Bookmark inactive = table.bookmark();
    QSignalSpy rowChanges(&table, &MemTable::currentRowChanged);

    table.setFiltered(true);
    QCOMPARE(column(table, DeviceTable::SerialNo), (QList<qint32>{70001, 70003}));
    QCOMPARE(*table.intValue(DeviceTable::SerialNo), 70001);
    QCOMPARE(rowChanges.count(), 1);
    QVERIFY(!table.bookmarkValid(inactive));
    QVERIFY(!table.gotoBookmark(inactive));
    QVERIFY(!table.locate(DeviceTable::SerialNo, 70002));

    // A visible current row survives switching the filter.
    QVERIFY(table.locate(DeviceTable::SerialNo, 70003));
    table.setFiltered(false);
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(*table.intValue(DeviceTable::SerialNo), 70003);
    QVERIFY(table.gotoBookmark(inactive));
    QCOMPARE(*table.intValue(DeviceTable::SerialNo), 70002);
}

void TestTables::deleteWhileWalking()
{
    TablesFixture f;
    QVERIFY(f.addPhones(4));
    PhoneTable &table = f.phones();

    QVERIFY(table.setCurrentPosition(1));
    QVERIFY(table.deleteCurrent());
    QCOMPARE(*table.intValue(PhoneTable::ID), 3);
    QVERIFY(!table.eof());

    table.last();
    QVERIFY(table.deleteCurrent());
    QCOMPARE(*table.intValue(PhoneTable::ID), 3);
    QVERIFY(table.eof());

    for (table.first(); !table.eof();)
        QVERIFY(table.deleteCurrent());
    QCOMPARE(table.totalRecordCount(), 0);
}

void TestTables::insertFromGrid()
{
    TablesFixture f;
    QVERIFY(f.addDevices("M0:4"));
    QVERIFY(!f.devices().append(MemTable::InsertOrigin::Grid));
    QCOMPARE(f.devices().state(), MemTable::State::Browse);
    QCOMPARE(f.devices().recordCount(), 1);
    QVERIFY(f.dialogs.shown.isEmpty());

    // The phone grid may add rows; they carry no button number.
    QVERIFY(f.addPhones(2));
    QVERIFY(f.phones().append(MemTable::InsertOrigin::Grid));
    QCOMPARE(f.phones().currentPosition(), 2);
    QVERIFY(f.phones().setValue(PhoneTable::SerialNoRead1, 42));
    QVERIFY(f.phones().post());
    QCOMPARE(f.phones().recordCount(), 3);
    QVERIFY(f.phones().valueAt(2, PhoneTable::ID).isNull());
    QCOMPARE(f.phones().valueAt(2, PhoneTable::SerialNoRead1), QVariant(42));
}

void TestTables::deviceTypeCalc_data()
{
    QTest::addColumn<QVariant>("deviceType");
    QTest::addColumn<QString>("text");

    QTest::newRow("MAIN") << QVariant(0) << "MAIN";
    QTest::newRow("EXT") << QVariant(1) << "EXT";
    QTest::newRow("neither") << QVariant(2) << "";
    QTest::newRow("empty") << QVariant() << "";
}

void TestTables::deviceTypeCalc()
{
    QFETCH(QVariant, deviceType);
    QFETCH(QString, text);

    DeviceTable table;
    QVERIFY(table.append());
    QVERIFY(table.setValue(DeviceTable::DeviceType, deviceType));
    QVERIFY(!table.setValue(DeviceTable::DeviceType_calc, QStringLiteral("EXT")));
    QVERIFY(table.post());
    QCOMPARE(table.textValue(DeviceTable::DeviceType_calc), text);
    QCOMPARE(table.isMain(), text == QLatin1String("MAIN"));
}

void TestTables::viewNotificationsHeldWhileDisabled()
{
    TablesFixture f;
    QVERIFY(f.addPhones(3));
    PhoneTable &table = f.phones();
    table.first();
    QSignalSpy resets(&table, &MemTable::rowsReset);
    QSignalSpy values(&table, &MemTable::rowValuesChanged);
    QSignalSpy rowChanges(&table, &MemTable::currentRowChanged);
    QSignalSpy fields(&table, &MemTable::fieldChanged);

    table.disableControls();
    table.next();
    QVERIFY(SetFieldValue(table, PhoneTable::SerialNoRead2, 7));
    QCOMPARE(fields.count(), 1); // field rules still see every assignment
    QCOMPARE(resets.count() + values.count() + rowChanges.count(), 0);
    table.enableControls();

    QCOMPARE(resets.count(), 1);
    QCOMPARE(rowChanges.count(), 1);
    QVERIFY(SetFieldValue(table, PhoneTable::SerialNoRead2, 8));
    QCOMPARE(values.count(), 2); // the assignment, then the post
    QCOMPARE(values.last().at(0).toInt(), 1);
}

void TestTables::phoneSerialRange_data()
{
    QTest::addColumn<QVariant>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("negative") << QVariant(-1) << false << QVariant(77);
    QTest::newRow("zero") << QVariant(0) << true << QVariant(0);
    QTest::newRow("highest") << QVariant(1048575) << true << QVariant(1048575);
    QTest::newRow("one above") << QVariant(1048576) << false << QVariant(77);
    QTest::newRow("typed text") << QVariant(QStringLiteral("1048575")) << true << QVariant(1048575);
    QTest::newRow("typed text above")
        << QVariant(QStringLiteral("2000000")) << false << QVariant(77);
    QTest::newRow("not a number") << QVariant(QStringLiteral("12x")) << false << QVariant(77);
    QTest::newRow("empty text clears") << QVariant(QString()) << true << QVariant();
}

void TestTables::phoneSerialRange()
{
    QFETCH(QVariant, typed);
    QFETCH(bool, accepted);
    QFETCH(QVariant, stored);

    TablesFixture f;
    for (const int field : {PhoneTable::SerialNoRead1, PhoneTable::SerialNoRead2}) {
        f.phones().clear();
        QVERIFY(f.phones().appendRow(1, 77, 77));
        QCOMPARE(SetFieldValue(f.phones(), field, typed), accepted);
        QCOMPARE(f.phones().state(), MemTable::State::Browse);
        QCOMPARE(f.phones().value(field), stored);
    }
}

void TestTables::appendRowRefusesWholeRow()
{
    TablesFixture f;
    QVERIFY(!f.phones().appendRow(1, 1001, 1048576));
    QVERIFY(!f.phones().appendRow(1, -5, std::nullopt));
    QCOMPARE(f.phones().totalRecordCount(), 0);
    QCOMPARE(f.phones().state(), MemTable::State::Browse);
}

void TestTables::setFieldForAllReturnsAfterFailure()
{
    TablesFixture f;
    QVERIFY(f.addPhones(4));
    PhoneTable &table = f.phones();
    QVERIFY(table.setCurrentPosition(2));
    const MemTable::Bookmark original = table.bookmark();

    QVERIFY(!SetFieldForAll(table, PhoneTable::SerialNoRead1, 2000000));

    QCOMPARE(table.bookmark(), original);
    QCOMPARE(table.state(), MemTable::State::Browse);
    QVERIFY(!table.controlsDisabled());
    QCOMPARE(column(table, PhoneTable::SerialNoRead1), range(501, 4));
}

void TestTables::setFieldForAllVisitsEveryRow()
{
    TablesFixture f;
    QVERIFY(f.addDevices("M0:4 E1:16 E2:16 E3:16"));
    DeviceTable &table = f.devices();
    // Rows leave the restricted view as they are changed.
    table.setFiltered(true);
    QVERIFY(SetFieldForAll(table, DeviceTable::DeviceActive, false));
    table.setFiltered(false);
    QCOMPARE(table.recordCount(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(table.valueAt(i, DeviceTable::DeviceActive), QVariant(false));
}

void TestTables::buttonCountChoices_data()
{
    QTest::addColumn<QString>("series");
    QTest::addColumn<QVariant>("deviceType");
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<int>>("choices");

    const QList<int> korvelMain{1, 2, 3, 4, 6, 10, 12, 16, 20};
    const QList<int> korvelExt{16, 20, 26};
    const QList<int> pentry{1, 2, 3, 4};
    QTest::newRow("Unsupported MAIN") << "Unsupported" << QVariant(0) << 0 << QList<int>{0};
    QTest::newRow("Unsupported EXT") << "Unsupported" << QVariant(1) << 0 << QList<int>{0};
    QTest::newRow("empty series") << "" << QVariant(0) << 0 << QList<int>{0};
    QTest::newRow("lower-case korvel") << "korvel" << QVariant(1) << 0 << QList<int>{0};
    QTest::newRow("Korvel MAIN") << "Korvel" << QVariant(0) << 1 << korvelMain;
    QTest::newRow("Korvel EXT") << "Korvel" << QVariant(1) << 1 << korvelExt;
    QTest::newRow("Korvel neither") << "Korvel" << QVariant(2) << 1 << QList<int>{};
    QTest::newRow("Korvel without type") << "Korvel" << QVariant() << 1 << QList<int>{};
    QTest::newRow("Pentry MAIN") << "Pentry" << QVariant(0) << 2 << pentry;
    QTest::newRow("Pentry EXT") << "Pentry" << QVariant(1) << 2 << pentry;
    QTest::newRow("Pentry neither") << "Pentry" << QVariant(7) << 2 << pentry;
}

void TestTables::buttonCountChoices()
{
    QFETCH(QString, series);
    QFETCH(QVariant, deviceType);
    QFETCH(int, code);
    QFETCH(QList<int>, choices);

    QCOMPARE(GetSeriesType(series), code);

    // Picking the series in the grid refreshes the row's choices at once.
    TablesFixture f;
    QVERIFY(f.devices().append());
    QVERIFY(f.devices().setValue(DeviceTable::DeviceType, deviceType));
    QVERIFY(f.devices().post());
    QSignalSpy refresh(&f.tables, &InstallationTables::currentDeviceChanged);
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::SeriesTypeStr, series));
    QVERIFY(refresh.count() >= 1);
    QCOMPARE(f.tables.currentKeyNoChoices(), choices);
}

void TestTables::toggleCheckBox_data()
{
    QTest::addColumn<qint32>("deviceType");
    QTest::addColumn<int>("field");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after");
    QTest::addColumn<bool>("refused");

    QTest::newRow("Video on EXT refused")
        << 1 << int(DeviceTable::IsVideoMain) << QVariant() << QVariant() << true;
    QTest::newRow("Video on EXT refused, set")
        << 1 << int(DeviceTable::IsVideoMain) << QVariant(true) << QVariant(true) << true;
    QTest::newRow("empty Video on MAIN becomes true")
        << 0 << int(DeviceTable::IsVideoMain) << QVariant() << QVariant(true) << false;
    QTest::newRow("Video on MAIN toggles off")
        << 0 << int(DeviceTable::IsVideoMain) << QVariant(true) << QVariant(false) << false;
    QTest::newRow("Active on EXT toggles off")
        << 1 << int(DeviceTable::DeviceActive) << QVariant(true) << QVariant(false) << false;
    QTest::newRow("empty Active becomes true")
        << 1 << int(DeviceTable::DeviceActive) << QVariant() << QVariant(true) << false;
}

void TestTables::toggleCheckBox()
{
    QFETCH(qint32, deviceType);
    QFETCH(int, field);
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);
    QFETCH(bool, refused);

    TablesFixture f;
    QVERIFY(f.devices().appendFoundDevice(70001, deviceType, deviceType));
    QVERIFY(SetFieldValue(f.devices(), field, before));
    QSignalSpy refresh(&f.tables, &InstallationTables::currentDeviceChanged);

    f.tables.deviceCellClicked(field);

    QCOMPARE(f.devices().value(field), after);
    if (refused) {
        QCOMPARE(f.dialogs.shownTexts(),
                 QStringList{QStringLiteral("You can set this value only for MAIN devices!")});
        QCOMPARE(f.dialogs.shown.first().kind, Dialogs::Kind::Error);
        QCOMPARE(refresh.count(), 0);
    } else {
        QVERIFY(f.dialogs.shown.isEmpty());
        QVERIFY(refresh.count() >= 1);
    }
}

void TestTables::clearingRule_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("option");
    QTest::addColumn<bool>("cleared");

    const QStringList assignsKeyNo{
        QStringLiteral("append found device"), QStringLiteral("set button count"),
        QStringLiteral("same button count again"), QStringLiteral("revert by CheckTotalBtnNo")};
    for (const bool option : {true, false}) {
        const char *suffix = option ? ", option on" : ", option off";
        // The same count assigned again is no change: the list stays.
        for (const QString &action : assignsKeyNo)
            QTest::newRow(qPrintable(action + suffix))
                << action << option << (option && !action.startsWith(QLatin1String("same")));
        QTest::newRow(qPrintable(QStringLiteral("set series") + suffix))
            << QStringLiteral("set series") << option << false;
    }
}

void TestTables::clearingRule()
{
    QFETCH(QString, action);
    QFETCH(bool, option);
    QFETCH(bool, cleared);

    TablesFixture f;
    QVERIFY(f.addDevices("M0:4"));
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::SeriesTypeStr, QStringLiteral("Pentry")));
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, 5));
    QVERIFY(f.addPhones(4));
    f.clearPhoneTbl = option;

    if (action == QLatin1String("append found device")) {
        QVERIFY(f.devices().appendFoundDevice(80000, 1, 1));
    } else if (action == QLatin1String("set button count")) {
        QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, 3));
    } else if (action == QLatin1String("same button count again")) {
        QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, 5));
    } else if (action == QLatin1String("revert by CheckTotalBtnNo")) {
        f.tables.CheckTotalBtnNo();
        QCOMPARE(*f.devices().intValue(DeviceTable::DeviceKeyNo), 4);
    } else {
        QVERIFY(SetFieldValue(f.devices(), DeviceTable::SeriesTypeStr, QStringLiteral("Korvel")));
    }

    QCOMPARE(f.phones().recordCount(), cleared ? 0 : 4);
}

void TestTables::clearData()
{
    TablesFixture f;
    QVERIFY(f.addPhones(5));
    PhoneTable &table = f.phones();
    QVERIFY(table.setCurrentPosition(3));
    QVERIFY(SetFieldValue(table, PhoneTable::SerialNoRead2, 2004));
    const MemTable::Bookmark current = table.bookmark();
    QSignalSpy rowChanges(&table, &MemTable::currentRowChanged);

    f.tables.clearPhoneData();

    QCOMPARE(column(table, PhoneTable::ID), range(1, 5));
    QCOMPARE(column(table, PhoneTable::SerialNoRead1), QList<qint32>(5, -1));
    QCOMPARE(column(table, PhoneTable::SerialNoRead2), QList<qint32>(5, -1));
    QCOMPARE(table.bookmark(), current);
    QCOMPARE(rowChanges.count(), 0);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestTables::setTestData_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rows");

    QTest::newRow("no device rows")
        << ""
        << "Devices table is empty!\r\nPlease, click on button \"Find devices\"" << 0;
    QTest::newRow("only inactive rows") << "m0:4 e1:16"
                                        << "There must be one MAIN device active!" << 0;
    QTest::newRow("two MAINs still get rows")
        << "M0:4 M1:6"
        << "There can not be two or more MAIN devices active!" << 10;
    QTest::newRow("MAIN and EXT") << "M0:4 E1:16"
                                  << "" << 20;
    QTest::newRow("largest installation") << "M0:20 E1:26 E2:26 E3:26 E4:26 E5:26"
                                          << "" << 150;
    QTest::newRow("two MAINs and five EXTs, beyond any layout")
        << "M0:20 M1:20 E2:26 E3:26 E4:26 E5:26 E6:26"
        << "There can not be two or more MAIN devices active!" << 170;
    QTest::newRow("runaway count") << "M0:1001" << "" << 0;
}

void TestTables::setTestData()
{
    QFETCH(QString, devices);
    QFETCH(QString, message);
    QFETCH(int, rows);

    TablesFixture f;
    QVERIFY(f.addDevices(devices));
    QSignalSpy btnState(&f.tables, &InstallationTables::updateBtnStateRequested);

    f.tables.setTestData();

    QCOMPARE(f.dialogs.shownTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    PhoneTable &table = f.phones();
    QCOMPARE(table.recordCount(), rows);
    QCOMPARE(column(table, PhoneTable::ID), range(1, rows));
    QCOMPARE(column(table, PhoneTable::SerialNoRead1), range(1001, rows));
    QCOMPARE(column(table, PhoneTable::SerialNoRead2), QList<qint32>(rows, -1));
    QCOMPARE(table.currentPosition(), rows - 1);
    QCOMPARE(btnState.count(), rows > 0 ? 1 : 0);
}

void TestTables::setTestDataPresses()
{
    TablesFixture f;
    QVERIFY(f.addDevices("M0:4 E1:16"));
    PhoneTable &table = f.phones();

    f.tables.setTestData();
    QCOMPARE(column(table, PhoneTable::SerialNoRead1), range(1001, 20));
    QCOMPARE(column(table, PhoneTable::SerialNoRead2), QList<qint32>(20, -1));

    // Second press: 1001 in the first row sends the fill to PhoneSN2.
    QVERIFY(table.setCurrentPosition(5));
    f.tables.setTestData();
    QCOMPARE(table.recordCount(), 20);
    QCOMPARE(column(table, PhoneTable::SerialNoRead1), range(1001, 20));
    QCOMPARE(column(table, PhoneTable::SerialNoRead2), range(2001, 20));
    QCOMPARE(table.currentPosition(), 19);

    // Third press overwrites PhoneSN2 with the same values.
    QVERIFY(SetFieldValue(table, PhoneTable::SerialNoRead2, 9));
    f.tables.setTestData();
    QCOMPARE(column(table, PhoneTable::SerialNoRead1), range(1001, 20));
    QCOMPARE(column(table, PhoneTable::SerialNoRead2), range(2001, 20));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestTables::setTestDataRefillsForeignList()
{
    TablesFixture f;
    QVERIFY(f.phones().appendRow(1, 5, 7));
    QVERIFY(f.phones().appendRow(2, std::nullopt, 8));

    f.tables.setTestData();

    QCOMPARE(column(f.phones(), PhoneTable::SerialNoRead1), (QList<qint32>{1001, 1002}));
    QCOMPARE(column(f.phones(), PhoneTable::SerialNoRead2), (QList<qint32>{7, 8}));
    QVERIFY(f.dialogs.shown.isEmpty()); // a filled list needs no device table
}

QTEST_GUILESS_MAIN(TestTables)
#include "tst_tables.moc"
