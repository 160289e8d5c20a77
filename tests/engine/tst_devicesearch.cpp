#include "busengine.h"
#include "dialogs.h"
#include "frames.h"
#include "installationtables.h"
#include "operationlog.h"
#include "qbxsimulator.h"
#include "simlink.h"

#include <QtTest>

using sim::Command;
using sim::Fault;
using sim::Station;

namespace {

// The engine on the in-process simulator, on virtual time.
struct Bus {
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    ScriptedDialogs dialogs;
    InstallationTables tables{dialogs};
    BusEngine engine{log, clock, port, tables};
    QString portText = QStringLiteral("7");
    QList<QPair<qint64, QString>> timed;

    Bus()
    {
        port.setPorts({7, 9}, {7});
        port.setSimulatorPort(7);
        engine.setPortTextSource([this]() { return portText; });
        QObject::connect(&log, &OperationLog::lineAppended,
                         [this](const QString &line) { timed.append({clock.nowMs(), line}); });
    }

    void station(const QString &line)
    {
        Station s;
        QVERIFY2(Station::parse(line, s), qPrintable(line));
        simulator.addStation(s);
    }
    // Time of the n-th line that ends with (or equals) `text`; -1 when absent.
    qint64 at(const QString &text, int n = 0) const
    {
        for (const auto &entry : timed) {
            if (entry.second == text || entry.second.endsWith(QLatin1String(" Sending: ") + text)) {
                if (n-- == 0)
                    return entry.first;
            }
        }
        return -1;
    }
    int count(const QString &line) const { return int(log.lines().count(line)); }
    void line(const QString &payload) { port.inject(sim::QbxSimulator::replyLine(payload)); }
    bool runSearch(qint64 limit = 20000)
    {
        engine.btnFindMAINClick();
        return clock.advanceUntil([this]() { return !engine.searchRunning(); }, limit);
    }
    QList<QVariantList> rows(const QList<int> &fields)
    {
        QList<QVariantList> out;
        DeviceTable &t = tables.tblDeviceSerials();
        for (int i = 0; i < t.recordCount(); ++i) {
            QVariantList row;
            for (int f : fields)
                row << t.valueAt(i, f);
            out << row;
        }
        return out;
    }
    bool timersIdle()
    {
        for (EngineTimer *t : engine.timers()) {
            if (t->enabled())
                return false;
        }
        return !engine.TSeriesTypeTimeOut.enabled();
    }
};

} // namespace

class TestDeviceSearch : public QObject
{
    Q_OBJECT
private slots:
    void wholeSequenceTimes();
    void oneMainThreeExt();
    void noMain();
    void twoMains();
    void offlineAndNonNumber();
    void initOnClosedOrInaccessiblePort_data();
    void initOnClosedOrInaccessiblePort();
    void negativeInitAcknowledgement();
    void announcementBeforeAcknowledgement_data();
    void announcementBeforeAcknowledgement();
    void dispatcherAnnouncements();
    void seriesDecision_data();
    void seriesDecision();
    void lineAtStep8WithAckPendingIsDropped();
    void typeQueryTimesOut();
    void invalidReplies_data();
    void invalidReplies();
    void unpluggedDuringSearch();
};

void TestDeviceSearch::wholeSequenceTimes()
{
    Bus bus;
    bus.station("main 74565 type=A00");
    bus.station("ext 703710 type=000 version=702");
    QVERIFY(bus.runSearch());

    const qint64 reply = 5;  // the simulator's reply delay
    QCOMPARE(bus.at("5802"), qint64(0));
    QCOMPARE(bus.at("> Response to InitQBXBUS OK!"), reply);
    QCOMPARE(bus.at("5200"), reply + 300);
    QCOMPARE(bus.at("> Requesting MAIN series type..."), qint64(1250));
    QCOMPARE(bus.at("512345C0"), qint64(1550));
    const qint64 lastMainReply = bus.at("> Received device type&ver: CA000010");
    QCOMPARE(lastMainReply, qint64(1550) + reply);
    QCOMPARE(bus.at("5803"), lastMainReply + 500);
    QCOMPARE(bus.at("5200", 1), lastMainReply + 500 + reply + 300);
    QCOMPARE(bus.at("> Requesting EXT series type..."), lastMainReply + 500 + 1800);
    QCOMPARE(bus.at("5ABCDEC0"), lastMainReply + 500 + 1800 + 300);
    QCOMPARE(bus.engine.state().BusStep, Step::Idle);
    QCOMPARE(bus.engine.state().ActiveOperation, BusOperation::None);
    QVERIFY(bus.timersIdle());
    // Each announcement closed its window: no time-out line at all.
    QCOMPARE(bus.count(">> Request timed out!"), 0);
}

void TestDeviceSearch::oneMainThreeExt()
{
    Bus bus;
    bus.station("main 74565 type=A08");
    bus.station("ext 703710 type=000 version=702");
    bus.station("ext 703711 type=000 version=701");
    bus.station("ext 4660 type=A00");
    bus.engine.btnFindMAINClick();
    QVERIFY(bus.clock.advanceUntil(
        [&]() { return bus.log.contains("> Requesting EXT series type..."); }, 10000));

    const QList<int> fields{DeviceTable::SerialNo, DeviceTable::DeviceType,
                            DeviceTable::DeviceOrder, DeviceTable::DeviceActive,
                            DeviceTable::DeviceKeyNo, DeviceTable::SeriesTypeStr};
    // The EXT rows wait for their type replies.
    const QList<QVariantList> found = bus.rows(fields);
    QCOMPARE(found.size(), 4);
    const QList<int> serials{74565, 703710, 703711, 4660};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(found[i][0].toInt(), serials[i]);
        QCOMPARE(found[i][1].toInt(), i == 0 ? 0 : 1);
        QCOMPARE(found[i][2].toInt(), i);
        QCOMPARE(found[i][3].toBool(), true);
        QCOMPARE(found[i][4].toInt(), 0);
        QCOMPARE(found[i][5].toString(), i == 0 ? QString("Korvel") : QString("Unsupported"));
    }
    // The window closed: the buttons were refreshed while queries still run.
    QCOMPARE(bus.engine.state().ActiveOperation, BusOperation::None);
    QVERIFY(bus.engine.searchRunning());

    QVERIFY(bus.clock.advanceUntil([&]() { return !bus.engine.searchRunning(); }, 10000));
    const QList<QVariantList> done = bus.rows({DeviceTable::SeriesTypeStr, DeviceTable::IsVideoMain});
    QCOMPARE(done[0], (QVariantList{"Korvel", true}));
    QCOMPARE(done[1][0].toString(), QStringLiteral("Korvel"));
    QCOMPARE(done[2][0].toString(), QStringLiteral("Unsupported"));
    QCOMPARE(done[3][0].toString(), QStringLiteral("Unsupported"));
    QCOMPARE(bus.engine.state().BusStep, Step::Idle);
}

void TestDeviceSearch::noMain()
{
    Bus bus;
    bus.station("ext 703710 type=000 version=702");
    QVERIFY(bus.runSearch());
    QCOMPARE(bus.at(">> Request timed out!"), qint64(1250));
    QCOMPARE(bus.at("5803"), qint64(1750));
    QVERIFY(!bus.log.contains("> Requesting MAIN series type..."));
    const QList<QVariantList> rows = bus.rows({DeviceTable::SerialNo, DeviceTable::DeviceOrder});
    QCOMPARE(rows, (QList<QVariantList>{{703710, 0}}));
}

void TestDeviceSearch::twoMains()
{
    Bus bus;
    bus.station("main 74565 type=A00");
    bus.station("main 74566 type=A10");
    QVERIFY(bus.runSearch());
    const QList<QVariantList> rows =
        bus.rows({DeviceTable::SerialNo, DeviceTable::DeviceOrder, DeviceTable::SeriesTypeStr});
    QCOMPARE(rows, (QList<QVariantList>{{74565, 0, "Korvel"}, {74566, 1, "Pentry"}}));
    QCOMPARE(bus.count("> Checking series type 74565;"), 1);
    QCOMPARE(bus.count("> Checking series type 74566;"), 1);
    // No EXT answered: the EXT window ends the search with the time-out line.
    QCOMPARE(bus.count(">> Request timed out!"), 1);
    QVERIFY(bus.timersIdle());
}

void TestDeviceSearch::offlineAndNonNumber()
{
    Bus bus;
    bus.portText = "offline";
    bus.engine.btnFindMAINClick();
    QCOMPARE(bus.log.lines(), QStringList{"ERROR: You are in offline mode!"});
    bus.portText = "refresh";
    bus.engine.btnFindMAINClick();
    QCOMPARE(bus.log.count(), 1);
    QVERIFY(!bus.port.isOpen());
    QVERIFY(!bus.engine.searchRunning());
}

void TestDeviceSearch::initOnClosedOrInaccessiblePort_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("error");
    QTest::newRow("closed") << 7 << "[ERROR] Port COM7 is closed!";
    QTest::newRow("not accessible") << 9 << "[ERROR] Port COM9 is not accessible!";
}

void TestDeviceSearch::initOnClosedOrInaccessiblePort()
{
    QFETCH(int, portNumber);
    QFETCH(QString, error);
    Bus bus;
    bus.port.setPortNumber(portNumber);
    bus.engine.state().InitCode = Frame::InitMain;
    bus.engine.InitQBXBUS(bus.port);
    const QStringList lines = bus.log.lines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("> Initializing QBX:BUS..."));
    QVERIFY(lines[1].endsWith(" Sending: 5802"));
    QCOMPARE(lines[2], error);
    QVERIFY(bus.port.sent.isEmpty());
    QVERIFY(!bus.engine.TTimeOutSend.enabled());
}

void TestDeviceSearch::negativeInitAcknowledgement()
{
    Bus bus;
    bus.station("main 74565 type=A00");
    bus.station("ext 703710 type=000 version=702");
    Fault negative;
    negative.kind = Fault::Kind::Negative;
    negative.remaining = 1;
    bus.simulator.setFault(Command::InitBus, negative);
    QVERIFY(bus.runSearch());
    QCOMPARE(bus.count("> Response to InitQBXBUS Failed!"), 1);
    // No MAIN search was sent; the window still closed and the EXT stage ran.
    QVERIFY(bus.at("5200") > bus.at("5803"));
    QCOMPARE(bus.at(">> Request timed out!"), qint64(1250));
    QCOMPARE(bus.rows({DeviceTable::SerialNo}), (QList<QVariantList>{{703710}}));
}

void TestDeviceSearch::announcementBeforeAcknowledgement_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<int>("records");
    QTest::newRow("announces once: not recorded") << false << 0;
    QTest::newRow("announces again: recorded") << true << 1;
}

void TestDeviceSearch::announcementBeforeAcknowledgement()
{
    QFETCH(bool, repeat);
    QFETCH(int, records);
    Bus bus;
    bus.station(repeat ? "main 74565 repeat" : "main 74565");
    bus.simulator.setAnnounceBeforeAck(true);
    QVERIFY(bus.runSearch());
    QCOMPARE(bus.count("> Response to SearchDevice OK!"), 1);
    QCOMPARE(bus.tables.tblDeviceSerials().recordCount(), records);
}

void TestDeviceSearch::dispatcherAnnouncements()
{
    Bus bus;
    EngineState &state = bus.engine.state();
    state.InitCode = Frame::InitMain;
    state.BusStep = Step::Search;
    state.AckPending = true;
    bus.line("5123451");
    QCOMPARE(bus.log.lines(), QStringList{"> Response to SearchDevice OK!"});
    QVERIFY(!state.AckPending);
    QCOMPARE(bus.tables.tblDeviceSerials().recordCount(), 0);

    bus.line("5123451");
    QCOMPARE(bus.log.lastLine(), QStringLiteral("> Door station, serial number: 74565;"));
    bus.line("5123451");
    bus.line("5ABCDE1");
    QCOMPARE(bus.log.lastLine(), QStringLiteral("> Door station, serial number: 703710;"));
    const int before = bus.log.count();
    bus.line("5123451");  // not the last serial, but already in the table
    QCOMPARE(bus.log.count(), before);
    bus.line("5123450");
    QCOMPARE(bus.log.lastLine(), QStringLiteral("> 5123450"));
    bus.line("1");
    QCOMPARE(bus.log.count(), before + 1);
    QCOMPARE(bus.rows({DeviceTable::SerialNo, DeviceTable::DeviceOrder}),
             (QList<QVariantList>{{74565, 0}, {703710, 1}}));
    QCOMPARE(state.FoundCount, 2);
}

void TestDeviceSearch::seriesDecision_data()
{
    QTest::addColumn<bool>("mainStage");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("series");
    QTest::addColumn<bool>("video");

    QTest::newRow("A08: Korvel with video") << true << "CA080001" << "Korvel" << true;
    QTest::newRow("A00: Korvel") << true << "CA000001" << "Korvel" << false;
    QTest::newRow("420 A50: Pentry") << true << "C4200A50" << "Pentry" << false;
    QTest::newRow("420 A4F: unchanged") << true << "C4200A4F" << "Unsupported" << false;
    QTest::newRow("A10: Pentry") << true << "CA100000" << "Pentry" << false;
    QTest::newRow("A18: Pentry") << true << "CA18" << "Pentry" << false;
    QTest::newRow("other MAIN type") << true << "C1230999" << "Unsupported" << false;
    QTest::newRow("EXT 000 702: Korvel") << false << "C0000702" << "Korvel" << false;
    QTest::newRow("EXT 000 701: unchanged") << false << "C0000701" << "Unsupported" << false;
    QTest::newRow("A00 in the EXT stage") << false << "CA000999" << "Unsupported" << false;
    QTest::newRow("A08 in the EXT stage") << false << "CA080999" << "Unsupported" << false;
    QTest::newRow("lower-case hex") << true << "ca080001" << "Korvel" << true;
}

void TestDeviceSearch::seriesDecision()
{
    QFETCH(bool, mainStage);
    QFETCH(QString, payload);
    QFETCH(QString, series);
    QFETCH(bool, video);

    Bus bus;
    DeviceTable &devices = bus.tables.tblDeviceSerials();
    QVERIFY(devices.appendFoundDevice(74565, mainStage ? 0 : 1, 0));
    devices.first();
    EngineState &state = bus.engine.state();
    state.InitCode = mainStage ? Frame::InitMain : Frame::InitExt;
    state.BusStep = Step::SeriesType;
    bus.line(payload);

    QCOMPARE(bus.log.lastLine(), QStringLiteral("> Received device type&ver: ") + payload);
    QCOMPARE(devices.valueAt(0, DeviceTable::SeriesTypeStr).toString(), series);
    QCOMPARE(devices.valueAt(0, DeviceTable::IsVideoMain).toBool(), video);
    // The only record was the last: the MAIN stage moves to the EXT stage,
    // the EXT stage goes idle.
    QCOMPARE(bus.engine.TSearchExt.enabled(), mainStage);
    QCOMPARE(state.BusStep, mainStage ? Step::SeriesType : Step::Idle);
}

void TestDeviceSearch::lineAtStep8WithAckPendingIsDropped()
{
    Bus bus;
    QVERIFY(bus.tables.tblDeviceSerials().appendFoundDevice(74565, 0, 0));
    EngineState &state = bus.engine.state();
    state.InitCode = Frame::InitMain;
    state.BusStep = Step::SeriesType;
    state.AckPending = true;
    bus.line("CA080001");
    QVERIFY(!state.AckPending);
    QVERIFY(bus.log.lines().isEmpty());
    QCOMPARE(bus.tables.tblDeviceSerials().valueAt(0, DeviceTable::SeriesTypeStr).toString(),
             QStringLiteral("Unsupported"));
}

void TestDeviceSearch::typeQueryTimesOut()
{
    Bus bus;
    bus.station("main 74565 type=A00");
    bus.station("ext 703710 type=000 version=702");
    Fault drop;
    drop.kind = Fault::Kind::Drop;
    drop.remaining = 1;  // the MAIN's type reply is lost
    bus.simulator.setFault(Command::CheckSeriesType, drop);
    QVERIFY(bus.runSearch());
    QCOMPARE(bus.at(">> Request timed out!"), qint64(1550 + 3000));
    // The search went on as if an unknown type had answered.
    QCOMPARE(bus.at("5803"), qint64(1550 + 3000 + 500));
    QCOMPARE(bus.rows({DeviceTable::SerialNo, DeviceTable::SeriesTypeStr}),
             (QList<QVariantList>{{74565, "Unsupported"}, {703710, "Korvel"}}));
    QVERIFY(bus.timersIdle());
}

void TestDeviceSearch::invalidReplies_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("payload");
    QTest::newRow("announcement, serial not hex") << int(Step::Search) << "5ZZZZZ1";
    QTest::newRow("type reply too short") << int(Step::SeriesType) << "CA0";
    QTest::newRow("type not hex") << int(Step::SeriesType) << "CXYZ0001";
    QTest::newRow("version missing where it decides") << int(Step::SeriesType) << "C420";
    QTest::newRow("version not hex") << int(Step::SeriesType) << "C4200A5G";
}

void TestDeviceSearch::invalidReplies()
{
    QFETCH(int, step);
    QFETCH(QString, payload);
    Bus bus;
    QVERIFY(bus.tables.tblDeviceSerials().appendFoundDevice(74565, 0, 0));
    EngineState &state = bus.engine.state();
    state.InitCode = Frame::InitMain;
    state.BusStep = step;
    bus.line(payload);
    QCOMPARE(bus.log.lines(), QStringList{"> Invalid reply: " + payload});
    QCOMPARE(bus.tables.tblDeviceSerials().recordCount(), 1);
    QCOMPARE(bus.tables.tblDeviceSerials().valueAt(0, DeviceTable::SeriesTypeStr).toString(),
             QStringLiteral("Unsupported"));
    QCOMPARE(state.BusStep, step);
    QVERIFY(!bus.engine.TSearchExt.enabled());
}

void TestDeviceSearch::unpluggedDuringSearch()
{
    Bus bus;
    bus.station("main 74565 type=A00");
    Fault pull;
    pull.kind = Fault::Kind::Disconnect;
    pull.remaining = 1;
    bus.simulator.setFault(Command::SearchDevice, pull);
    QVERIFY(bus.runSearch());
    QCOMPARE(bus.engine.state().BusStep, Step::Idle);
    QCOMPARE(bus.engine.state().ActiveOperation, BusOperation::None);
    QVERIFY(bus.timersIdle());
    QVERIFY(!bus.port.isOpen());
    bus.clock.advance(10000);
    QVERIFY(bus.timersIdle());

    // A new Find devices starts cleanly.
    QVERIFY(bus.runSearch());
    QCOMPARE(bus.rows({DeviceTable::SerialNo, DeviceTable::SeriesTypeStr}),
             (QList<QVariantList>{{74565, "Korvel"}}));
}

QTEST_GUILESS_MAIN(TestDeviceSearch)
#include "tst_devicesearch.moc"
