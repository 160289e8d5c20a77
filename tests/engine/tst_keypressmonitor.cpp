#include "busengine.h"
#include "dialogs.h"
#include "hexutil.h"
#include "installationtables.h"
#include "keynumberlist.h"
#include "keypressmonitor.h"
#include "operationlog.h"
#include "phonetable.h"
#include "qbxsimulator.h"
#include "simlink.h"

#include <QtTest>

#include <utility>

namespace
{

// A dialog double that can act while a warning is "open", as the event
// loop of a real modal box would let further lines in.
class OpenWarningDialogs : public ScriptedDialogs
{
public:
    std::function<void()> whileOpen;

    Answer message(Kind kind, const QString &text, Buttons buttons) override
    {
        const Answer answer = ScriptedDialogs::message(kind, text, buttons);
        if (whileOpen)
            std::exchange(whileOpen, nullptr)();
        return answer;
    }
};

// The monitor with its inputs as plain values, read at every call.
struct Monitor {
    OperationLog log;
    OpenWarningDialogs dialogs;
    PhoneTable phones;
    SortedStringList keyNumberList;
    KeyPressMonitor monitor{log, dialogs, phones, keyNumberList};
    bool showWarnings = true;
    bool detectDoubleKeyPress = false;

    Monitor()
    {
        monitor.setShowWarnings([this]() { return showWarnings; });
        monitor.setDetectDoubleKeyPress([this]() { return detectDoubleKeyPress; });
    }
    // Log lines written while the payloads are handled.
    QStringList feed(const QStringList &payloads)
    {
        const int before = log.count();
        for (const QString &payload : payloads)
            monitor.handleTelegram(payload);
        return log.lines().mid(before);
    }
    // A call press as the bus reports it: the telegram and its repeat.
    QStringList press(const QString &telegram) { return feed({telegram, telegram}); }
};

const QString Call74565 = QStringLiteral("0123458A"); // serial 74565, AS 10
const QString Line74565 = QStringLiteral("> Key: 74565; AS:10 [0123458A]");

} // namespace

class TestKeyPressMonitor : public QObject
{
    Q_OBJECT
private slots:
    void payloads_data();
    void payloads();
    void badPayloads_data();
    void badPayloads();
    void lightKeyKeepsAlternation();
    void doublePressWarning();
    void phoneTableLookup_data();
    void phoneTableLookup();
    void noTableWarning_data();
    void noTableWarning();
    void linesDuringWarningWaitInOrder();
    void pressesFromSimulatorAtIdle();
};

void TestKeyPressMonitor::payloads_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<bool>("skipBefore");
    QTest::addColumn<QString>("line"); // empty: nothing logged
    QTest::addColumn<bool>("skipAfter");

    QTest::newRow("light 5") << "1205" << false << "> Key: Light; AS:5 [1205]" << false;
    QTest::newRow("light 63") << "123F" << false << "> Key: Light; AS:63 [123F]" << false;
    QTest::newRow("light, leading zeros")
        << "00001234" << false << "> Key: Light; AS:52 [00001234]" << false;
    QTest::newRow("light leaves skip set") << "1200" << true << "> Key: Light; AS:0 [1200]" << true;
    QTest::newRow("above light range") << "1240" << false << "" << false;
    QTest::newRow("below light range") << "11FF" << true << "" << true;
    QTest::newRow("long value, no overflow") << "100000001205" << false << "" << false;
    QTest::newRow("call key") << Call74565 << false << Line74565 << true;
    QTest::newRow("call key, repeat skipped") << Call74565 << true << "" << false;
    QTest::newRow("call key, AS 0")
        << "0FFFFF80" << false << "> Key: 1048575; AS:0 [0FFFFF80]" << true;
    QTest::newRow("call key, longer payload")
        << "0123458A77" << false << "> Key: 74565; AS:10 [0123458A77]" << true;
    QTest::newRow("init code 5802") << "00005802" << false << "" << true;
    QTest::newRow("init range end") << "0000580F" << false << "" << true;
    QTest::newRow("past init range")
        << "00005810" << false << "> Unknown data (press slower): 00005810" << true;
    QTest::newRow("unknown data") << "00001300" << false
                                  << "> Unknown data (press slower): 00001300" << true;
    QTest::newRow("just below call flag")
        << "0123457F" << false << "> Unknown data (press slower): 0123457F" << true;
    QTest::newRow("unknown data skipped") << "00001300" << true << "" << false;
}

void TestKeyPressMonitor::payloads()
{
    QFETCH(QString, payload);
    QFETCH(bool, skipBefore);
    QFETCH(QString, line);
    QFETCH(bool, skipAfter);

    Monitor m;
    m.monitor.SkipNextKeyTelegram = skipBefore;
    const QStringList written = m.feed({payload});
    QCOMPARE(written, line.isEmpty() ? QStringList() : QStringList{line});
    QCOMPARE(m.monitor.SkipNextKeyTelegram, skipAfter);
    QVERIFY(m.dialogs.shown.isEmpty());
}

void TestKeyPressMonitor::badPayloads_data()
{
    QTest::addColumn<QString>("payload");
    QTest::newRow("empty") << "";
    QTest::newRow("not hex") << "X?7";
    QTest::newRow("call key with a bad digit") << "0123458G";
    QTest::newRow("blank inside") << "01234 8A";
    QTest::newRow("0 telegram, 1 character") << "0";
    QTest::newRow("0 telegram, 7 characters") << "0123458";
}

void TestKeyPressMonitor::badPayloads()
{
    QFETCH(QString, payload);
    for (bool skip : {false, true}) {
        Monitor m;
        m.detectDoubleKeyPress = true;
        QVERIFY(m.phones.appendRow(1, 1001, 2001));
        QVERIFY(m.phones.appendRow(2, 1002, 2002));
        m.phones.first();
        m.monitor.SkipNextKeyTelegram = skip;
        QCOMPARE(m.feed({payload}), QStringList{QStringLiteral("> Invalid reply: ") + payload});
        QCOMPARE(m.monitor.SkipNextKeyTelegram, skip);
        QCOMPARE(m.phones.currentPosition(), 0);
        QCOMPARE(m.keyNumberList.count(), 0);
        QVERIFY(m.dialogs.shown.isEmpty());
    }
}

void TestKeyPressMonitor::lightKeyKeepsAlternation()
{
    Monitor m;
    const QString other = QStringLiteral("00001300");
    QCOMPARE(
        m.feed({Call74565, "1205", Call74565, Call74565, other, "123F", other}),
        (QStringList{Line74565, "> Key: Light; AS:5 [1205]", Line74565,
                     "> Key: Light; AS:63 [123F]", "> Unknown data (press slower): " + other}));
    QVERIFY(m.monitor.SkipNextKeyTelegram);
}

void TestKeyPressMonitor::doublePressWarning()
{
    Monitor m;
    m.detectDoubleKeyPress = true;
    const QString pressedOnce = QStringLiteral("Serial number 74565 already pressed once!?");

    QCOMPARE(m.press(Call74565), QStringList{Line74565});
    QCOMPARE(m.press("0ABCDE8B"), QStringList{"> Key: 703710; AS:11 [0ABCDE8B]"});
    QVERIFY(m.dialogs.shown.isEmpty());
    QCOMPARE(m.keyNumberList.items(), (QStringList{"703710", "74565"}));

    // The second press is still logged; the warning follows it.
    QCOMPARE(m.press(Call74565), QStringList{Line74565});
    QCOMPARE(m.dialogs.shownTexts(), QStringList{pressedOnce});
    QCOMPARE(m.dialogs.shown.at(0).kind, Dialogs::Kind::Warning);
    QCOMPARE(m.dialogs.shown.at(0).buttons, Dialogs::Buttons::Ok);
    QCOMPARE(m.keyNumberList.count(), 2);

    // An emptied list (the box switched off and on) accepts the first press again.
    m.keyNumberList.clear();
    m.dialogs.shown.clear();
    m.press(Call74565);
    QVERIFY(m.dialogs.shown.isEmpty());
    m.press(Call74565);
    QCOMPARE(m.dialogs.shownTexts(), QStringList{pressedOnce});

    // With the mode off nothing is collected or checked.
    m.detectDoubleKeyPress = false;
    m.keyNumberList.clear();
    m.dialogs.shown.clear();
    m.press(Call74565);
    m.press(Call74565);
    QVERIFY(m.dialogs.shown.isEmpty());
    QCOMPARE(m.keyNumberList.count(), 0);
}

void TestKeyPressMonitor::phoneTableLookup_data()
{
    QTest::addColumn<QString>("telegram");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("row"); // -1: not in the table

    // Rows: (1, 1001, 74565), (2, 74565, 2002), (3, 3003, 4004).
    QTest::newRow("SerialNoRead1 before an earlier SerialNoRead2") << Call74565 << 2 << 1;
    QTest::newRow("SerialNoRead2 only") << "000FA480" << 0 << 2; // 4004
    QTest::newRow("first row") << "0003E981" << 2 << 0;          // 1001
    QTest::newRow("unknown serial") << "0186A081" << 1 << -1;    // 99999
}

void TestKeyPressMonitor::phoneTableLookup()
{
    QFETCH(QString, telegram);
    QFETCH(int, startRow);
    QFETCH(int, row);

    Monitor m;
    QVERIFY(m.phones.appendRow(1, 1001, 74565));
    QVERIFY(m.phones.appendRow(2, 74565, 2002));
    QVERIFY(m.phones.appendRow(3, 3003, 4004));
    QVERIFY(m.phones.setCurrentPosition(startRow));
    int moves = 0;
    connect(&m.phones, &MemTable::currentRowChanged, this, [&moves]() { ++moves; });

    QCOMPARE(m.press(telegram).size(), 1);
    if (row >= 0) {
        QCOMPARE(m.phones.currentPosition(), row);
        QCOMPARE(moves, 1);
        QVERIFY(m.dialogs.shown.isEmpty());
    } else {
        const QString serial = HexToDecimalText(telegram.mid(1, 5));
        QCOMPARE(m.phones.currentPosition(), startRow);
        QCOMPARE(m.dialogs.shownTexts(),
                 QStringList{"Serial number " + serial + " does not exist in table!?"});
        QCOMPARE(m.dialogs.shown.at(0).kind, Dialogs::Kind::Warning);
    }
}

void TestKeyPressMonitor::noTableWarning_data()
{
    QTest::addColumn<bool>("emptyTable");
    QTest::addColumn<bool>("showWarnings");
    QTest::newRow("empty table") << true << true;
    QTest::newRow("Show warnings off") << false << false;
    QTest::newRow("empty table, Show warnings off") << true << false;
}

void TestKeyPressMonitor::noTableWarning()
{
    QFETCH(bool, emptyTable);
    QFETCH(bool, showWarnings);

    Monitor m;
    if (!emptyTable)
        QVERIFY(m.phones.appendRow(1, 1001, 2001));
    m.showWarnings = showWarnings;
    QCOMPARE(m.press(Call74565), QStringList{Line74565});
    QVERIFY(m.dialogs.shown.isEmpty());

    // The option is read at each press: switched on, the same press warns.
    if (!emptyTable) {
        m.showWarnings = true;
        m.press(Call74565);
        QCOMPARE(m.dialogs.shownTexts(),
                 QStringList{"Serial number 74565 does not exist in table!?"});
    }
}

void TestKeyPressMonitor::linesDuringWarningWaitInOrder()
{
    Monitor m;
    m.detectDoubleKeyPress = true;
    QVERIFY(m.phones.appendRow(1, 1001, 2001));
    QVERIFY(m.phones.appendRow(2, 1002, 2002));
    m.press(Call74565);
    m.dialogs.shown.clear();
    QVERIFY(m.phones.setCurrentPosition(1));

    // The second press warns twice (not in the table, pressed once). While
    // the first warning is open, its repeat, a light key and another press
    // arrive.
    QStringList logAtWarning;
    m.dialogs.whileOpen = [&m, &logAtWarning]() {
        m.monitor.handleTelegram(Call74565);
        m.monitor.handleTelegram(QStringLiteral("1205"));
        m.monitor.handleTelegram(QStringLiteral("0003E981")); // 1001, in the table
        logAtWarning = m.log.lines();
    };
    const QStringList written = m.feed({Call74565});
    // Nothing was handled while the warning was open.
    QCOMPARE(logAtWarning.last(), Line74565);
    QCOMPARE(m.dialogs.shownTexts(), (QStringList{"Serial number 74565 does not exist in table!?",
                                                  "Serial number 74565 already pressed once!?"}));
    // Afterwards, in arrival order: the repeat was skipped, none was lost.
    QCOMPARE(written,
             (QStringList{Line74565, "> Key: Light; AS:5 [1205]", "> Key: 1001; AS:1 [0003E981]"}));
    QCOMPARE(m.phones.currentPosition(), 0);
    QVERIFY(m.monitor.SkipNextKeyTelegram);
    QVERIFY(m.keyNumberList.contains("1001"));
}

void TestKeyPressMonitor::pressesFromSimulatorAtIdle()
{
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    ScriptedDialogs dialogs;
    InstallationTables tables{dialogs};
    BusEngine engine{log, clock, port, tables};
    SortedStringList keyNumberList;
    KeyPressMonitor monitor{log, dialogs, tables.tblPhoneSerials(), keyNumberList};
    engine.setTelegramHandler(
        [&monitor](int, const QString &payload) { monitor.handleTelegram(payload); });
    port.setPorts({7}, {7});
    port.setSimulatorPort(7);
    engine.setPortTextSource([]() { return QStringLiteral("7"); });
    sim::Station main;
    QVERIFY(sim::Station::parse("main 74565 type=A08", main));
    simulator.addStation(main);

    engine.btnFindMAINClick();
    QVERIFY(clock.advanceUntil([&]() { return !engine.searchRunning(); }, 20000));
    QCOMPARE(engine.state().BusStep, Step::Idle);
    const int before = log.count();

    // One button at a time, as a technician presses them.
    QVERIFY(simulator.press(74565, 10));
    clock.advance(1000);
    QVERIFY(simulator.light(5));
    clock.advance(1000);
    QVERIFY(simulator.press(703710, 63));
    clock.advance(1000);
    QCOMPARE(log.lines().mid(before), (QStringList{Line74565, "> Key: Light; AS:5 [1205]",
                                                   "> Key: 703710; AS:63 [0ABCDEBF]"}));
    QVERIFY(!monitor.SkipNextKeyTelegram);

    // Out of range: nothing goes on the bus.
    QVERIFY(!simulator.press(0, 1));
    QVERIFY(!simulator.press(1048576, 1));
    QVERIFY(!simulator.press(74565, 64));
    QVERIFY(!simulator.light(64));
    clock.advance(1000);
    QCOMPARE(log.count(), before + 3);
}

QTEST_GUILESS_MAIN(TestKeyPressMonitor)
#include "tst_keypressmonitor.moc"
