#include "memoryrig.h"

#include "paramblock.h"
#include "phoneserialcodec.h"

using sim::Command;
using sim::Fault;

namespace {

const QString KorvelMain = QStringLiteral("main 74565 type=A00 version=010");
const QString KorvelVideoMain = QStringLiteral("main 74565 type=A08 version=012");
const QString PentryMain = QStringLiteral("main 74565 type=A10 version=010");
const QString Ext1 = QStringLiteral("ext 703710 type=000 version=702");
const QString Ext2 = QStringLiteral("ext 703712 type=000 version=702");

Fault fault(Fault::Kind kind, QList<int> only = {}, int delayMs = 0, const QString &garble = {})
{
    Fault f;
    f.kind = kind;
    f.only = only;
    f.delayMs = delayMs;
    if (!garble.isEmpty())
        f.garbleText = garble;
    return f;
}

int indexOfLine(const QStringList &lines, const QString &start, int from = 0)
{
    for (int i = from; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(start))
            return i;
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(sim::Fault)

class TestMemoryAccess : public QObject
{
    Q_OBJECT
private slots:
    void writeThenReadGivesTableBack_data();
    void writeThenReadGivesTableBack();
    void commandsAndProgress_data();
    void commandsAndProgress();
    void faults_data();
    void faults();
    void abortDuringRead();
    void abortDuringWrite_data();
    void abortDuringWrite();
    void abortedStepNeverRunsInTheNextOperation_data();
    void abortedStepNeverRunsInTheNextOperation();
    void parameterRead_data();
    void parameterRead();
    void parameterWriteWritesTheBlockOnly();
    void initMemoryOnPentry();
    void verifyAfterWrite_data();
    void verifyAfterWrite();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void lateTypeReplyChangesNoOtherRecord();
    void findDevicesEnteredOnce();
};

void TestMemoryAccess::writeThenReadGivesTableBack_data()
{
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QList<int>>("keys");
    QTest::newRow("Korvel MAIN 10, plain") << QStringList{KorvelMain} << QList<int>{10};
    QTest::newRow("Korvel MAIN 12, video") << QStringList{KorvelVideoMain} << QList<int>{12};
    QTest::newRow("Pentry MAIN 4") << QStringList{PentryMain} << QList<int>{4};
    QTest::newRow("MAIN 20, EXT 16, EXT 26")
        << QStringList{KorvelMain, Ext1, Ext2} << QList<int>{20, 16, 26};
}

void TestMemoryAccess::writeThenReadGivesTableBack()
{
    QFETCH(QStringList, stations);
    QFETCH(QList<int>, keys);
    MemoryRig rig;
    QVERIFY(rig.install(stations, keys));
    // Second serials too, and the last row of each list one without a phone.
    rig.tables.setTestData();
    rig.tables.setTestData();
    PhoneTable &phones = rig.tables.tblPhoneSerials();
    phones.last();
    SetFieldValue(phones, PhoneTable::SerialNoRead1, QVariant());
    SetFieldValue(phones, PhoneTable::SerialNoRead2, QVariant());
    // The technician stands on the last door station.
    DeviceTable &devices = rig.tables.tblDeviceSerials();
    devices.last();
    const MemTable::Bookmark current = devices.bookmark();
    const QStringList written = rig.phoneRows();

    rig.memory.btnSendSNClick();
    QCOMPARE(rig.memory.status().caption(BusOperation::SendSerials), QStringLiteral("Abort"));
    QVERIFY(rig.runToIdle());
    QCOMPARE(rig.log.lastLine(), QStringLiteral("> Reset device"));
    QCOMPARE(rig.memory.status().caption(BusOperation::SendSerials), QStringLiteral("Send serials"));
    QCOMPARE(rig.memory.status().progressPosition(), 0);
    QCOMPARE(rig.engine.state().BusStep, Step::Idle);
    // The images are used up.
    QVERIFY(rig.memory.ExtImage.isEmpty());
    QVERIFY(!devices.isFiltered());
    QCOMPARE(devices.bookmark(), current);

    rig.tables.clearPhoneData();
    QVERIFY(rig.phoneRows() != written);
    rig.memory.btnReadSNClick();
    QVERIFY(rig.runToIdle());
    QCOMPARE(rig.log.lastLine(), QStringLiteral("Serials writed in read column!"));
    QCOMPARE(rig.phoneRows(), written);
    QCOMPARE(phones.currentPosition(), 0);
    QCOMPARE(devices.bookmark(), current);
    QVERIFY(!rig.log.lines().join('\n').contains(QLatin1String("ERROR")));
}

void TestMemoryAccess::commandsAndProgress_data()
{
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QStringList>("addresses");  // first and last address per door station

    QTest::newRow("read MAIN 10 + EXT 16")
        << QStringList{KorvelMain, Ext1} << QList<int>{10, 16} << false << 69
        << QStringList{"8408", "847C", "8400", "8498"};
    QTest::newRow("write MAIN 10 + EXT 16")
        << QStringList{KorvelMain, Ext1} << QList<int>{10, 16} << true << 138
        << QStringList{"8208", "827E", "8200", "829A"};
    QTest::newRow("read Pentry MAIN") << QStringList{PentryMain} << QList<int>{4} << false << 8
                                      << QStringList{"8408", "8424"};
    QTest::newRow("write Pentry MAIN") << QStringList{PentryMain} << QList<int>{4} << true << 16
                                       << QStringList{"8208", "8226"};
}

void TestMemoryAccess::commandsAndProgress()
{
    QFETCH(QStringList, stations);
    QFETCH(QList<int>, keys);
    QFETCH(bool, write);
    QFETCH(int, maximum);
    QFETCH(QStringList, addresses);
    MemoryRig rig;
    QVERIFY(rig.install(stations, keys));
    rig.tables.setTestData();
    const int from = rig.simulator.received.size();
    int highest = 0;
    QObject::connect(&rig.memory.status(), &OperationStatus::progressChanged,
                     [&](int position, int) { highest = qMax(highest, position); });

    write ? rig.memory.btnSendSNClick() : rig.memory.btnReadSNClick();
    QCOMPARE(rig.memory.status().progressMaximum(), maximum);
    QVERIFY(rig.runToIdle());
    QCOMPARE(highest, maximum);

    // Per door station: initialisation (MAIN, then EXT), selection, then
    // the address range in steps of 4 (read) or 2 (write).
    const QStringList frames = rig.framesSince(from);
    QStringList inits;
    for (const QString &f : frames) {
        if (f == QLatin1String("5802") || f == QLatin1String("5803"))
            inits << f;
    }
    QCOMPARE(inits.size(), keys.size());
    QCOMPARE(inits.first(), QStringLiteral("5802"));
    const QStringList data = write ? MemoryRig::matching(frames, QStringLiteral("82"), 8)
                                   : MemoryRig::matching(frames, QStringLiteral("84"), 4);
    QCOMPARE(data.size(), maximum);
    int at = 0;
    for (int d = 0; d < addresses.size() / 2; ++d) {
        const uint first = addresses.at(2 * d).toUInt(nullptr, 16);
        const uint last = addresses.at(2 * d + 1).toUInt(nullptr, 16);
        const uint step = write ? 2 : 4;
        for (uint address = first; address <= last; address += step, ++at)
            QCOMPARE(data.at(at).left(4), QString::number(address, 16).toUpper());
    }
    QCOMPARE(at, data.size());
    if (write) {
        // The first write of the MAIN carries the front of its image.
        const int firstWrite = indexOfLine(rig.log.lines(), QStringLiteral("> Location to write data: "));
        QCOMPARE(rig.log.lines().at(firstWrite), QStringLiteral("> Location to write data: 8208"));
        const int ack = indexOfLine(rig.log.lines(), QStringLiteral("> Response to WriteData OK!"));
        QCOMPARE(rig.log.lines().at(ack),
                 QStringLiteral("> Response to WriteData OK!, Part: ") + data.first().mid(4));
    }
}

void TestMemoryAccess::faults_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("command");
    QTest::addColumn<Fault>("injected");
    QTest::addColumn<QStringList>("lastLines");  // prefixes of the last log lines
    QTest::addColumn<bool>("waiting");           // still running, the button shows "Abort"
    QTest::addColumn<QString>("memory");          // "written", "unchanged" or "partial"

    auto row = [](const char *name, bool write, Command c, Fault f, QStringList last, bool waiting,
                  const char *memory) {
        QTest::newRow(name) << write << int(c) << f << last << waiting << QString::fromLatin1(memory);
    };
    using K = Fault::Kind;
    // Writes.
    row("write: init refused", true, Command::InitBus, fault(K::Negative, {1}),
        {"> Response to InitQBXBUS Failed!"}, true, "unchanged");
    row("write: select refused four times", true, Command::SelMemAccess,
        fault(K::Negative, {1, 2, 3, 4}),
        {"> Response to SelMemAccess Failed!"}, true, "unchanged");
    row("write: select refused three times", true, Command::SelMemAccess,
        fault(K::Negative, {1, 2, 3}), {"> Response to WriteData OK!", "> Reset device"}, false,
        "written");
    row("write: parts 5, 20 and 40 refused once", true, Command::WriteData,
        fault(K::Negative, {5, 21, 42}), {"> Response to WriteData OK!", "> Reset device"}, false,
        "written");
    row("write: fourth refusal", true, Command::WriteData, fault(K::Negative, {5, 21, 42, 50}),
        {"> Response to WriteData Failed!", "> ERROR: Door station 74565 refused",
         "> Reset device"},
        false, "partial");
    row("write: reply dropped", true, Command::WriteData, fault(K::Drop, {7}),
        {">> Request timed out!", "> Reset device"}, false, "partial");
    row("write: reply delayed within the interval", true, Command::WriteData,
        fault(K::Delay, {3, 4}, 200), {"> Response to WriteData OK!", "> Reset device"}, false,
        "written");
    row("write: garbled acknowledgement is a refusal", true, Command::WriteData,
        fault(K::Garble, {9}), {"> Response to WriteData OK!", "> Reset device"}, false, "written");
    row("write: split line", true, Command::WriteData, fault(K::Split, {2, 3}),
        {"> Response to WriteData OK!", "> Reset device"}, false, "written");
    row("write: cable pulled", true, Command::WriteData, fault(K::Disconnect, {10}),
        {"> ERROR: The bus port was lost", "> ERROR: Memory of door station 74565 may be "
                                           "incomplete."},
        false, "partial");
    // Reads.
    row("read: init refused", false, Command::InitBus, fault(K::Negative, {1}),
        {"> Response to InitQBXBUS Failed!"}, true, "");
    row("read: select refused four times", false, Command::SelMemAccess,
        fault(K::Negative, {1, 2, 3, 4}), {"> Response to SelMemAccess Failed!"}, true, "");
    row("read: garbled data line", false, Command::ReadLocation, fault(K::Garble, {3}, 0, "X?7"),
        {"> ERROR: The memory of door station 74565 was not read completely."}, false, "");
    row("read: short data line", false, Command::ReadLocation,
        fault(K::Garble, {4}, 0, "10FFFF0"),
        {"> ERROR: The memory of door station 74565 was not read completely."}, false, "");
    row("read: reply dropped", false, Command::ReadLocation, fault(K::Drop, {5}),
        {">> Request timed out!"}, false, "");
    row("read: reply delayed within the interval", false, Command::ReadLocation,
        fault(K::Delay, {5}, 200), {"Serials writed in read column!"}, false, "");
    row("read: split line", false, Command::ReadLocation, fault(K::Split, {6}),
        {"Serials writed in read column!"}, false, "");
    row("read: cable pulled", false, Command::ReadLocation, fault(K::Disconnect, {6}),
        {"> ERROR: The bus port was lost"}, false, "");
}

void TestMemoryAccess::faults()
{
    QFETCH(bool, write);
    QFETCH(int, command);
    QFETCH(Fault, injected);
    QFETCH(QStringList, lastLines);
    QFETCH(bool, waiting);
    QFETCH(QString, memory);

    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain}, {10}));
    rig.tables.setTestData();
    const QStringList sent = rig.phoneRows();
    if (!write) {
        // Something to read, then a table that a failed read must leave alone.
        rig.memory.btnSendSNClick();
        QVERIFY(rig.runToIdle());
        rig.tables.clearPhoneData();
    }
    const QStringList table = rig.phoneRows();
    const QString before = rig.memoryOf(74565);
    rig.simulator.setFault(Command(command), injected);
    const int from = rig.log.count();
    write ? rig.memory.btnSendSNClick() : rig.memory.btnReadSNClick();
    const BusOperation op = write ? BusOperation::SendSerials : BusOperation::ReadSerials;
    if (waiting) {
        rig.clock.advance(60000);
        QVERIFY(rig.memory.busy());
        QCOMPARE(rig.memory.status().caption(op), QStringLiteral("Abort"));
    } else {
        QVERIFY(rig.runToIdle());
        QVERIFY(rig.port.isOpen() || injected.kind == Fault::Kind::Disconnect);
    }
    const QStringList lines = rig.log.lines().mid(from);
    QVERIFY(lines.size() >= lastLines.size());
    const QStringList last = lines.mid(lines.size() - lastLines.size());
    for (int i = 0; i < lastLines.size(); ++i)
        QVERIFY2(last.at(i).startsWith(lastLines.at(i)), qPrintable(last.join('\n')));

    const QString image = rig.memoryOf(74565);
    if (memory == QLatin1String("unchanged"))
        QCOMPARE(image, before);
    else if (memory == QLatin1String("partial"))
        QVERIFY(image != before);
    if (!write) {
        const bool read = lastLines.last() == QLatin1String("Serials writed in read column!");
        QCOMPARE(rig.phoneRows(), read ? sent : table);
    }
    if (memory == QLatin1String("written")) {
        // What is stored reads back as the table that was sent.
        rig.tables.clearPhoneData();
        rig.simulator.clearFaults();
        rig.memory.btnReadSNClick();
        QVERIFY(rig.runToIdle());
        QCOMPARE(rig.phoneRows(), sent);
    }
    if (waiting) {
        // The Abort press ends the wait; nothing was written.
        write ? rig.memory.btnSendSNClick() : rig.memory.btnReadSNClick();
        QVERIFY(rig.idle());
        QCOMPARE(rig.memory.status().caption(op), OperationStatus::idleCaption(op));
        QVERIFY(!rig.tables.tblDeviceSerials().isFiltered());
    }
}

void TestMemoryAccess::abortDuringRead()
{
    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain, Ext1}, {10, 16}));
    rig.tables.setTestData();
    rig.memory.btnSendSNClick();
    QVERIFY(rig.runToIdle());
    rig.tables.clearPhoneData();
    const QStringList table = rig.phoneRows();
    DeviceTable &devices = rig.tables.tblDeviceSerials();
    devices.first();
    const MemTable::Bookmark current = devices.bookmark();

    rig.memory.btnReadSNClick();
    QVERIFY(rig.clock.advanceUntil(
        [&]() { return rig.log.contains(QStringLiteral("> EEPROM Location: 8420")); }, 20000));
    rig.memory.btnReadSNClick();  // Abort
    QCOMPARE(rig.memory.status().caption(BusOperation::ReadSerials), QStringLiteral("Read serials"));
    QVERIFY(!devices.isFiltered());
    QCOMPARE(devices.bookmark(), current);
    const int from = rig.log.count();
    rig.clock.advance(20000);
    // The reply still on its way belongs to no running read.
    QVERIFY(rig.log.lines().mid(from).join('\n').contains(QLatin1String("> Received: ")));
    QVERIFY(!rig.log.lines().mid(from).join('\n').contains(QLatin1String("EEPROM Location")));
    QCOMPARE(rig.phoneRows(), table);
    QVERIFY(rig.idle());
}

void TestMemoryAccess::abortDuringWrite_data()
{
    QTest::addColumn<QString>("abortAfter");
    QTest::addColumn<bool>("reset");
    // A WriteData on its way: its acknowledgement still resets the door station.
    QTest::newRow("write outstanding") << QStringLiteral(" Sending: 8210") << true;
    // Between an acknowledgement and the next write nothing is outstanding.
    QTest::newRow("nothing outstanding")
        << QStringLiteral("> Response to WriteData OK!, Part: ") << false;
}

void TestMemoryAccess::abortDuringWrite()
{
    QFETCH(QString, abortAfter);
    QFETCH(bool, reset);
    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain}, {10}));
    rig.tables.setTestData();
    rig.memory.btnSendSNClick();
    QVERIFY(rig.clock.advanceUntil(
        [&]() { return rig.log.count() > 0 && rig.log.lastLine().contains(abortAfter); }, 20000));
    rig.memory.btnSendSNClick();  // Abort
    QCOMPARE(rig.memory.status().caption(BusOperation::SendSerials), QStringLiteral("Send serials"));
    const int from = rig.log.count();
    rig.clock.advance(20000);
    const QStringList after = rig.log.lines().mid(from);
    QCOMPARE(after.contains(QStringLiteral("> Reset device")), reset);
    QVERIFY(!after.join('\n').contains(QLatin1String("Location to write data")));
    QVERIFY(rig.idle());
    QVERIFY(!rig.tables.tblDeviceSerials().isFiltered());
}

// Rows: the operation aborted once the bus is initialised (its select is
// then due), the one started right after it, and a line only the aborted
// one writes.
void TestMemoryAccess::abortedStepNeverRunsInTheNextOperation_data()
{
    QTest::addColumn<BusOperation>("aborted");
    QTest::addColumn<BusOperation>("next");
    QTest::addColumn<QString>("abortedOnly");

    QTest::newRow("read, then send") << BusOperation::ReadSerials << BusOperation::SendSerials
                                     << QStringLiteral("> Preparing to read Phone serials...");
    QTest::newRow("send, then read") << BusOperation::SendSerials << BusOperation::ReadSerials
                                     << QStringLiteral("> Preparing to write phone serials...");
}

void TestMemoryAccess::abortedStepNeverRunsInTheNextOperation()
{
    QFETCH(BusOperation, aborted);
    QFETCH(BusOperation, next);
    QFETCH(QString, abortedOnly);

    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain}, {10}));
    rig.tables.setTestData();
    const auto press = [&rig](BusOperation button) {
        if (button == BusOperation::ReadSerials)
            rig.memory.btnReadSNClick();
        else
            rig.memory.btnSendSNClick();
    };
    const int started = rig.log.count();
    press(aborted);
    QVERIFY(rig.clock.advanceUntil(
        [&]() {
            return rig.log.lines().mid(started).contains(
                QStringLiteral("> Response to InitQBXBUS OK!"));
        },
        20000));
    press(aborted); // Abort, and at once the other button
    const int from = rig.log.count();
    press(next);
    QVERIFY(rig.runToIdle());
    const QStringList after = rig.log.lines().mid(from);
    // One door station: one select, the next operation's own.
    QCOMPARE(after.count(QStringLiteral("> Selecting device for mem access, Page 0...")), 1);
    QVERIFY(!after.contains(abortedOnly));
    QVERIFY(!after.join('\n').contains(QLatin1String("> ERROR")));
}

void TestMemoryAccess::parameterRead_data()
{
    QTest::addColumn<QString>("secondPart");
    QTest::addColumn<bool>("shown");
    QTest::newRow("8 and 8 digits") << QString() << true;
    QTest::newRow("8 and 7 digits") << QStringLiteral("0001020") << false;
}

void TestMemoryAccess::parameterRead()
{
    QFETCH(QString, secondPart);
    QFETCH(bool, shown);
    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain + QStringLiteral(" params=8570775004010200")}, {10}));
    if (!secondPart.isEmpty())
        rig.simulator.setFault(Command::ReadLocation, fault(Fault::Kind::Garble, {2}, 0, secondPart));
    rig.memory.btnParamsClick();
    QCOMPARE(rig.memory.status().caption(BusOperation::ReadParams), QStringLiteral("Abort"));
    QCOMPARE(rig.memory.status().progressMaximum(), 2);
    QVERIFY(rig.runToIdle());
    rig.clock.advance(1);
    const QStringList frames = MemoryRig::matching(rig.simulator.received, QStringLiteral("84"), 4);
    QCOMPARE(frames, (QStringList{"8400", "8404"}));
    QCOMPARE(rig.memory.status().caption(BusOperation::ReadParams), QStringLiteral("Parameters"));
    QCOMPARE(rig.paramsShown, shown ? 1 : 0);
    if (shown) {
        QCOMPARE(rig.log.lastLine(), QStringLiteral("Received all parameters!"));
        QCOMPARE(rig.paramsFilledWith, QStringLiteral("8570775004010200"));
        QVERIFY(rig.log.contains(QStringLiteral("> Received param part(2): 04010200")));
    } else {
        QCOMPARE(rig.log.lastLine(), QStringLiteral("> ERROR: wrong length in parameters!"));
    }
}

void TestMemoryAccess::parameterWriteWritesTheBlockOnly()
{
    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain + QStringLiteral(" params=0040778000010200")}, {10}));
    const QString serialsBefore = rig.memoryOf(74565, 0x8408, 240);
    rig.engine.state().ParamImage = QStringLiteral("8570775004010200");
    rig.memory.startParamWrite();
    QVERIFY(rig.memory.busy());
    QVERIFY(rig.runToIdle());
    QCOMPARE(rig.log.lastLine(), QStringLiteral("> Reset device"));
    const QStringList writes = MemoryRig::matching(rig.simulator.received, QStringLiteral("82"), 8);
    QCOMPARE(writes, (QStringList{"82008570", "82027750", "82040401", "82060200"}));
    QCOMPARE(rig.memoryOf(74565, 0x8400, 16), QStringLiteral("8570775004010200"));
    // Nothing beyond the block.
    QCOMPARE(rig.memoryOf(74565, 0x8408, 240), serialsBefore);
}

void TestMemoryAccess::initMemoryOnPentry()
{
    MemoryRig rig;
    QVERIFY(rig.install({PentryMain}, {2}));
    rig.engine.state().InitMemoryMode = true;
    rig.engine.state().ParamImage = QString::fromLatin1(DefaultParamBlock);
    rig.memory.startParamWrite();
    QVERIFY(rig.clock.advanceUntil(
        [&]() { return rig.log.contains(QStringLiteral("> Reset device")); }, 20000));
    // Button count 4 and the four test phones, before Send serials starts.
    DeviceTable &devices = rig.tables.tblDeviceSerials();
    QCOMPARE(devices.valueAt(0, DeviceTable::DeviceKeyNo).toInt(), 4);
    QCOMPARE(rig.phoneRows(), (QStringList{"1:101|", "2:102|", "3:103|", "4:104|"}));
    QCOMPARE(rig.memory.status().caption(BusOperation::SendSerials), QStringLiteral("Abort"));
    QVERIFY(rig.runToIdle());
    QVERIFY(!rig.engine.state().InitMemoryMode);
    const QStringList writes = MemoryRig::matching(rig.simulator.received, QStringLiteral("82"), 8);
    QCOMPARE(writes.size(), 4 + 16);
    QCOMPARE(writes.at(0).left(4), QStringLiteral("8200"));
    QCOMPARE(writes.at(3).left(4), QStringLiteral("8206"));
    QCOMPARE(writes.at(4).left(4), QStringLiteral("8208"));
    QCOMPARE(rig.log.lines().count(QStringLiteral("> Reset device")), 2);
    QCOMPARE(rig.memoryOf(74565, 0x8400, 16), QStringLiteral("0040778000010200"));
    // Pentry, 4 buttons: button 1 in slot 1 ... button 4 in slot 4.
    QCOMPARE(rig.memoryOf(74565, 0x8408 + 6, 12), EncodeSlot(101, 0));
    QCOMPARE(rig.memoryOf(74565, 0x8408 + 24, 12), EncodeSlot(104, 0));
}

void TestMemoryAccess::verifyAfterWrite_data()
{
    QTest::addColumn<bool>("params");
    QTest::addColumn<QList<int>>("corruptWrites");
    QTest::addColumn<QString>("expected");
    QTest::newRow("serials, OK") << false << QList<int>{} << QStringLiteral("> Verify OK: 703710");
    // The 7th write of the MAIN (address 0x8214) stores a different byte.
    QTest::newRow("serials, one byte differs")
        << false << QList<int>{7} << QStringLiteral("> ERROR: Verify 74565: address 8414 written ");
    QTest::newRow("parameters, OK") << true << QList<int>{} << QStringLiteral("> Verify OK: 74565");
    QTest::newRow("parameters, one byte differs")
        << true << QList<int>{2} << QStringLiteral("> ERROR: Verify 74565: address 8402 written 7750, read 6750");
}

void TestMemoryAccess::verifyAfterWrite()
{
    QFETCH(bool, params);
    QFETCH(QList<int>, corruptWrites);
    QFETCH(QString, expected);
    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain, Ext1}, {10, 16}));
    rig.tables.setTestData();
    rig.verifyOn = true;
    if (!corruptWrites.isEmpty())
        rig.simulator.setFault(Command::WriteData, fault(Fault::Kind::Corrupt, corruptWrites));
    const QStringList table = rig.phoneRows();
    bool finishedOk = false;
    QObject::connect(&rig.memory, &MemoryAccess::operationFinished,
                     [&](BusOperation op, bool ok) {
                         if (op == BusOperation::Verify)
                             finishedOk = ok;
                     });
    if (params) {
        rig.tables.tblDeviceSerials().first();
        rig.engine.state().ParamImage = QStringLiteral("8570775004010200");
        rig.memory.startParamWrite();
    } else {
        rig.memory.btnSendSNClick();
    }
    QVERIFY(rig.runToIdle());
    QVERIFY2(rig.log.lines().join('\n').contains(expected), qPrintable(rig.tail(5).join('\n')));
    QCOMPARE(finishedOk, corruptWrites.isEmpty());
    // The read-back follows the reset and never touches the phone table.
    const int reset = rig.log.lines().lastIndexOf(QStringLiteral("> Reset device"));
    QVERIFY(reset >= 0);
    QVERIFY(indexOfLine(rig.log.lines(), QStringLiteral("> Verify"), reset) > reset ||
            indexOfLine(rig.log.lines(), QStringLiteral("> ERROR: Verify"), reset) > reset);
    QCOMPARE(rig.phoneRows(), table);
    QCOMPARE(rig.memory.status().caption(BusOperation::SendSerials), QStringLiteral("Send serials"));
}

void TestMemoryAccess::refusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("message");
    QTest::newRow("write to an EXT without layout")
        << true << QStringLiteral("Device 703711 (EXT, Unsupported, 16 buttons) has no known memory layout!");
    QTest::newRow("read of a MAIN without series")
        << false << QStringLiteral("Device 74565 (MAIN, Unsupported) has no known memory layout!");
}

void TestMemoryAccess::refusedBeforeAnythingIsSent()
{
    QFETCH(bool, write);
    QFETCH(QString, message);
    MemoryRig rig;
    QVERIFY(rig.install({KorvelMain, QStringLiteral("ext 703711 type=000 version=701")}, {10, 16}));
    if (!write)
        rig.setSeries(0, QStringLiteral("Unsupported"));
    const int from = rig.simulator.received.size();
    write ? rig.memory.btnSendSNClick() : rig.memory.btnReadSNClick();
    QVERIFY(rig.idle());
    QVERIFY(!rig.dialogs.shown.isEmpty());
    QCOMPARE(rig.dialogs.shown.last().kind, Dialogs::Kind::Error);
    QVERIFY2(rig.dialogs.shown.last().text.startsWith(message), qPrintable(rig.dialogs.shown.last().text));
    rig.clock.advance(5000);
    QCOMPARE(rig.simulator.received.size(), from);
    QVERIFY(!rig.tables.tblDeviceSerials().isFiltered());
}

void TestMemoryAccess::lateTypeReplyChangesNoOtherRecord()
{
    MemoryRig rig;
    // The Pentry MAIN's type reply comes after its query timed out, while
    // the next door station is being asked.
    rig.simulator.setFault(Command::CheckSeriesType, fault(Fault::Kind::Delay, {1}, 3100));
    QVERIFY(rig.install({PentryMain, QStringLiteral("main 74566 type=A00 version=010")}, {0, 0}));
    DeviceTable &devices = rig.tables.tblDeviceSerials();
    QCOMPARE(devices.valueAt(0, DeviceTable::SeriesTypeStr).toString(), QStringLiteral("Unsupported"));
    QCOMPARE(devices.valueAt(1, DeviceTable::SeriesTypeStr).toString(), QStringLiteral("Korvel"));
    QVERIFY(rig.log.contains(QStringLiteral("> Late reply ignored: CA100010")));
}

void TestMemoryAccess::findDevicesEnteredOnce()
{
    MemoryRig rig;
    sim::Station s;
    QVERIFY(sim::Station::parse(KorvelMain, s));
    rig.simulator.addStation(s);
    rig.engine.btnFindMAINClick();
    QVERIFY(rig.clock.advanceUntil([&]() { return !rig.engine.searchRunning(); }, 30000));
    // Reopening the port waits with events running: a click meanwhile is the
    // same press, not a second search.
    const int from = rig.simulator.received.size();
    bool clickedAgain = false;
    rig.clock.callAfter(100, [&]() {
        clickedAgain = true;
        rig.engine.btnFindMAINClick();
    });
    rig.engine.btnFindMAINClick();
    QVERIFY(clickedAgain);
    QVERIFY(rig.clock.advanceUntil([&]() { return !rig.engine.searchRunning(); }, 30000));
    QCOMPARE(rig.framesSince(from).count(QStringLiteral("5802")), 1);
}

QTEST_GUILESS_MAIN(TestMemoryAccess)
#include "tst_memoryaccess.moc"
