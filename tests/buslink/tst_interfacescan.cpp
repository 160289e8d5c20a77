#include "frames.h"
#include "interfacescan.h"
#include "operationlog.h"
#include "qbxsimulator.h"
#include "simlink.h"

#include <QtTest>

using sim::BoxConfig;
using sim::Command;
using sim::Fault;

namespace {

// Two links on one simulator, the way the window wires its bus port and
// its scan port, all on virtual time.
struct Rig {
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    sim::SimLink scanPort{simulator, clock};
    InterfaceScan scan{log, port, scanPort, clock};
    int lastPort = 0;
    QList<int> saved;
    QMap<InterfaceScan::Button, bool> buttons;
    QList<QPair<qint64, QString>> timedLines;

    explicit Rig(QList<int> ports = {3, 7}, int simPort = 7)
    {
        for (auto *link : {&port, &scanPort}) {
            link->setPorts(ports, ports);
            link->setSimulatorPort(simPort);
        }
        scan.setLastPortStore([this]() { return lastPort; }, [this](int p) { saved.append(p); });
        QObject::connect(&scan, &InterfaceScan::buttonEnabled,
                         [this](InterfaceScan::Button b, bool on) { buttons[b] = on; });
        QObject::connect(&log, &OperationLog::lineAppended,
                         [this](const QString &line) { timedLines.append({clock.nowMs(), line}); });
    }

    void choose(const QString &entry) { scan.setCurrentIndex(int(scan.entries().indexOf(entry))); }
    QStringList linesSince(int from) const { return log.lines().mid(from); }
    qint64 timeOf(const QString &line) const
    {
        for (const auto &entry : timedLines) {
            if (entry.second == line)
                return entry.first;
        }
        return -1;
    }
    // The log without the send line, whose date and time vary.
    QStringList linesWithoutSend() const
    {
        QStringList out;
        for (const QString &line : log.lines()) {
            if (!line.contains(QLatin1String(" Sending: ")))
                out.append(line);
        }
        return out;
    }
};

} // namespace

class TestInterfaceScan : public QObject
{
    Q_OBJECT
private slots:
    void portListPreselection_data();
    void portListPreselection();
    void portListRebuiltOnlyBelowThreeEntries();
    void refreshEnumeratesAgain();
    void offlineClosesBusPort();
    void scanAnswers_data();
    void scanAnswers();
    void scanWhileOffline();
    void scanPortNotAccessible();
    void scanWaitsForBusPortToClose();
    void scanPortPulledDuringScan();
    void splitAnswerStillRead();
    void timingModeLine_data();
    void timingModeLine();
};

void TestInterfaceScan::portListPreselection_data()
{
    QTest::addColumn<QList<int>>("ports");
    QTest::addColumn<int>("lastPort");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("last good port found") << QList<int>{3, 7} << 7
                                          << QStringList{"3", "7", "offline", "refresh"} << "7"
                                          << QStringList{"> Found COM3", "> Found COM7"};
    QTest::newRow("last good port 0") << QList<int>{3, 7} << 0
                                      << QStringList{"3", "7", "offline", "refresh"} << "offline"
                                      << QStringList{"> Found COM3", "> Found COM7"};
    QTest::newRow("last good port gone") << QList<int>{3} << 7
                                         << QStringList{"3", "offline", "refresh"} << "offline"
                                         << QStringList{"> Found COM3"};
    QTest::newRow("no port") << QList<int>{} << 7 << QStringList{"offline", "refresh"} << "offline"
                             << QStringList{"[ERROR] Ports do not exists: 0 found!"};
    QTest::newRow("high numbers sorted") << QList<int>{12, 100} << 100
                                         << QStringList{"12", "100", "offline", "refresh"} << "100"
                                         << QStringList{"> Found COM12", "> Found COM100"};
}

void TestInterfaceScan::portListPreselection()
{
    QFETCH(QList<int>, ports);
    QFETCH(int, lastPort);
    QFETCH(QStringList, entries);
    QFETCH(QString, selected);
    QFETCH(QStringList, lines);

    Rig rig(ports);
    rig.lastPort = lastPort;
    rig.scan.cbPortDropDown();
    QCOMPARE(rig.scan.entries(), entries);
    QCOMPARE(rig.scan.currentText(), selected);
    QCOMPARE(rig.log.lines(), lines);
}

void TestInterfaceScan::portListRebuiltOnlyBelowThreeEntries()
{
    Rig rig({3});
    rig.scan.cbPortDropDown();
    QCOMPARE(rig.scan.entries().size(), 3);
    rig.port.setPorts({3, 4, 5}, {3, 4, 5});
    rig.scan.cbPortDropDown();
    QCOMPARE(rig.scan.entries(), (QStringList{"3", "offline", "refresh"}));
    QCOMPARE(rig.log.count(), 1);

    // With only the two fixed entries every drop-down looks again.
    Rig empty(QList<int>{});
    empty.scan.cbPortDropDown();
    empty.port.setPorts({4}, {4});
    empty.scan.cbPortDropDown();
    QCOMPARE(empty.scan.entries(), (QStringList{"4", "offline", "refresh"}));
}

void TestInterfaceScan::refreshEnumeratesAgain()
{
    Rig rig({3, 7});
    rig.scan.cbPortDropDown();
    rig.port.setPorts({5}, {5});
    rig.lastPort = 5;
    rig.scan.cbPortSelect(int(rig.scan.entries().indexOf("refresh")));
    QCOMPARE(rig.scan.entries(), (QStringList{"5", "offline", "refresh"}));
    QCOMPARE(rig.scan.currentText(), QStringLiteral("5"));
}

void TestInterfaceScan::offlineClosesBusPort()
{
    Rig rig;
    rig.scan.cbPortDropDown();
    // Not open: nothing happens.
    int before = rig.log.count();
    rig.scan.cbPortSelect(int(rig.scan.entries().indexOf("offline")));
    QCOMPARE(rig.log.count(), before);

    QVERIFY(OpenDPXPort(rig.port, 3, rig.log, rig.clock));
    QCOMPARE(rig.log.lastLine(), QStringLiteral("Port COM3 is opened"));
    rig.scan.cbPortSelect(int(rig.scan.entries().indexOf("offline")));
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.log.lastLine(), QStringLiteral("Port: COM3 is closed."));
}

void TestInterfaceScan::scanAnswers_data()
{
    QTest::addColumn<QString>("box");           // simulator's box, or "garble:<payload>"
    QTest::addColumn<QStringList>("expected");  // log after the scan, send line left out
    QTest::addColumn<bool>("found");

    const QStringList head{"Port COM7 is opened", "> Searching Interface on COM7..."};
    const QString closed = "> Port COM7 is closed.";

    QTest::newRow("KDI3300")
        << "KDI3300:43981"
        << head + QStringList{"> Received data: 0ABCD", "> Interface found on COM7",
                              "> Interface type: KDI3300", "> Interface serial number: 43981",
                              closed}
        << true;
    QTest::newRow("KDI3300 small serial padded by the box")
        << "KDI3300:18"
        << head + QStringList{"> Received data: 00012", "> Interface found on COM7",
                              "> Interface type: KDI3300", "> Interface serial number: 18",
                              closed}
        << true;
    QTest::newRow("KDI3310")
        << "KDI3310:109517"
        << head + QStringList{"> Received data: 1ABCD", "> Interface found on COM7",
                              "> Interface type: KDI3310", "> Interface serial number: 109517",
                              closed}
        << true;
    QTest::newRow("KDI3300 extra characters ignored")
        << "garble:0ABCDE"
        << head + QStringList{"> Received data: 0ABCDE", "> Interface found on COM7",
                              "> Interface type: KDI3300", "> Interface serial number: 43981",
                              closed}
        << true;
    QTest::newRow("absent: 3F")
        << "absent"
        << head + QStringList{"> Response to SearchInterface 3F", "> Interface not found on COM7",
                              closed, ">> Interface not found on COM7"}
        << false;
    QTest::newRow("silent") << "silent"
                            << head + QStringList{">> Interface not found on COM7", closed}
                            << false;
    QTest::newRow("garbled") << "garble:X?7"
                             << head + QStringList{"> Invalid reply: X?7", closed} << false;
    QTest::newRow("empty payload") << "garble:"
                                   << head + QStringList{"> Invalid reply: ", closed} << false;
    QTest::newRow("KDI3300 too short") << "garble:0AB"
                                       << head + QStringList{"> Invalid reply: 0AB", closed}
                                       << false;
    QTest::newRow("KDI3310 not hex") << "garble:1ABZD"
                                     << head + QStringList{"> Invalid reply: 1ABZD", closed}
                                     << false;
}

void TestInterfaceScan::scanAnswers()
{
    QFETCH(QString, box);
    QFETCH(QStringList, expected);
    QFETCH(bool, found);

    Rig rig;
    rig.lastPort = 7;
    rig.scan.cbPortDropDown();
    if (box.startsWith("garble:")) {
        Fault fault;
        fault.kind = Fault::Kind::Garble;
        fault.garbleText = box.mid(7);
        rig.simulator.setFault(Command::SearchInterface, fault);
    } else {
        BoxConfig config;
        QVERIFY(BoxConfig::parse(box, config));
        rig.simulator.setBox(config);
    }
    const int listLines = rig.log.count();

    rig.scan.btnScanPortClick();
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::ScanPort, true), false);
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::FindDevices, true), false);
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::SendSerials, true), false);
    QCOMPARE(rig.scanPort.sent, QList<QByteArray>{SearchInterfaceFrame()});
    rig.clock.advance(5000);

    QStringList lines = rig.linesWithoutSend().mid(listLines);
    QCOMPARE(lines, expected);
    QVERIFY(!rig.scanPort.isOpen());
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::ScanPort), true);
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::FindDevices, false), found);
    QCOMPARE(rig.scan.interfaceFound(), found);
    // What a front end without the log reports: the same model and serial.
    QCOMPARE(rig.scan.interfaceModel().isEmpty(), !found);
    QCOMPARE(rig.scan.interfaceSerial().isEmpty(), !found);
    if (found) {
        QVERIFY(lines.contains("> Interface type: " + rig.scan.interfaceModel()));
        QVERIFY(lines.contains("> Interface serial number: " + rig.scan.interfaceSerial()));
    }
    QCOMPARE(rig.saved, found ? QList<int>{7} : QList<int>{});
    QCOMPARE(rig.clock.pendingCount(), 0);
    if (box == "silent" || box == "absent")
        QCOMPARE(rig.timeOf(">> Interface not found on COM7"), qint64(2000));
}

void TestInterfaceScan::scanWhileOffline()
{
    Rig rig;
    rig.scan.cbPortDropDown();
    rig.choose("offline");
    rig.scan.btnScanPortClick();
    QCOMPARE(rig.log.lastLine(), QStringLiteral("ERROR: You are in offline mode!"));
    QVERIFY(rig.buttons.isEmpty());
    QVERIFY(rig.scanPort.sent.isEmpty());
}

void TestInterfaceScan::scanPortNotAccessible()
{
    Rig rig({3, 7});
    rig.scanPort.setPorts({3, 7}, {7});  // COM3 is held by another program
    rig.scan.cbPortDropDown();
    rig.choose("3");
    rig.scan.btnScanPortClick();
    QCOMPARE(rig.log.lastLine(), QStringLiteral("[ERROR] Port COM3 is not accessible!"));
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::ScanPort), false);
    rig.clock.advance(300);
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::ScanPort), true);
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::FindDevices), false);
    QCOMPARE(rig.clock.pendingCount(), 0);
}

void TestInterfaceScan::scanWaitsForBusPortToClose()
{
    Rig rig;
    rig.lastPort = 7;
    rig.scan.cbPortDropDown();
    QVERIFY(OpenDPXPort(rig.port, 3, rig.log, rig.clock));
    rig.port.failNextCloses(2);
    const qint64 start = rig.clock.nowMs();
    rig.scan.btnScanPortClick();
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.clock.nowMs() - start, qint64(600));
    const QStringList lines = rig.linesWithoutSend();
    const int at = int(lines.indexOf("> Detected open port for DPX search"));
    QVERIFY(at >= 0);
    QCOMPARE(lines.at(at + 1), QStringLiteral("Port: COM3 is closed."));
    rig.clock.advance(1000);
    QVERIFY(rig.scan.interfaceFound());
}

void TestInterfaceScan::scanPortPulledDuringScan()
{
    Rig rig;
    rig.lastPort = 7;
    rig.scan.cbPortDropDown();
    Fault pull;
    pull.kind = Fault::Kind::Disconnect;
    rig.simulator.setFault(Command::SearchInterface, pull);
    rig.scan.btnScanPortClick();
    rig.clock.advance(5000);
    QVERIFY(std::any_of(rig.log.lines().begin(), rig.log.lines().end(), [](const QString &l) {
        return l.startsWith("[ERROR] Port COM7");
    }));
    QVERIFY(!rig.scanPort.isOpen());
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::ScanPort), true);
    QCOMPARE(rig.buttons.value(InterfaceScan::Button::FindDevices), false);
    QVERIFY(!rig.log.contains(">> Interface not found on COM7"));

    // The program stays usable: the next scan finds the box.
    rig.simulator.clearFaults();
    rig.scan.btnScanPortClick();
    rig.clock.advance(1000);
    QVERIFY(rig.scan.interfaceFound());
}

void TestInterfaceScan::splitAnswerStillRead()
{
    Rig rig;
    rig.lastPort = 7;
    rig.scan.cbPortDropDown();
    Fault split;
    split.kind = Fault::Kind::Split;
    rig.simulator.setFault(Command::SearchInterface, split);
    rig.scan.btnScanPortClick();
    rig.clock.advance(1000);
    QVERIFY(rig.scan.interfaceFound());
    QVERIFY(rig.log.contains("> Interface serial number: 43981"));
}

void TestInterfaceScan::timingModeLine_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("line");
    QTest::newRow("199") << 199 << QString();
    QTest::newRow("200") << 200 << "QBXBUS USB speed is set!";
    QTest::newRow("300") << 300 << "QBXBUS USB speed is set!";
    QTest::newRow("499") << 499 << "QBXBUS USB speed is set!";
    QTest::newRow("500") << 500 << "RS232 speed is set!";
    QTest::newRow("999") << 999 << "RS232 speed is set!";
    QTest::newRow("1000") << 1000 << QString();
}

void TestInterfaceScan::timingModeLine()
{
    QFETCH(int, interval);
    QFETCH(QString, line);
    QCOMPARE(TimingModeLine(interval), line);
}

QTEST_GUILESS_MAIN(TestInterfaceScan)
#include "tst_interfacescan.moc"
