// The interface search end to end: the real serial port code on a
// pseudo-terminal served by the simulator.
#include "comports.h"
#include "frames.h"
#include "interfacescan.h"
#include "operationlog.h"
#include "ptyserver.h"
#include "qbxsimulator.h"
#include "qtseriallink.h"

#include <QElapsedTimer>
#include <QtTest>

using sim::BoxConfig;
using sim::Command;
using sim::Fault;

class TestScanPty : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void comNumberMapsToTerminal();
    void scan_data();
    void scan();
    void pulledAdapterWhileOpen();

private:
    sim::QbxSimulator m_simulator;
    sim::PtyServer *m_server = nullptr;
};

void TestScanPty::initTestCase()
{
    m_server = new sim::PtyServer(m_simulator, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    qputenv("KORVEL_COM7", m_server->devicePath().toLocal8Bit());
}

void TestScanPty::comNumberMapsToTerminal()
{
    QCOMPARE(ComPortDevice(7), m_server->devicePath());
    QVERIFY(ComPortExists(7));
    QVERIFY(ExistingComPorts().contains(7));
    qputenv("KORVEL_COM9", "/nonexistent/tty");
    QVERIFY(!ComPortExists(9));
    qunsetenv("KORVEL_COM9");
    QCOMPARE(ComPortDevice(9), QStringLiteral("/dev/ttyS8"));
    QCOMPARE(ComPortDevice(33), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(ComPortDevice(65), QStringLiteral("/dev/ttyACM0"));
    QCOMPARE(ComPortDevice(97), QString());
}

void TestScanPty::scan_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("garble");
    QTest::addColumn<QStringList>("wanted");  // lines that must appear, in this order
    QTest::addColumn<bool>("found");

    QTest::newRow("KDI3300") << "KDI3300:43981" << QString()
                             << QStringList{"> Received data: 0ABCD", "> Interface found on COM7",
                                            "> Interface type: KDI3300",
                                            "> Interface serial number: 43981",
                                            "> Port COM7 is closed."}
                             << true;
    QTest::newRow("KDI3310") << "KDI3310:109517" << QString()
                             << QStringList{"> Received data: 1ABCD", "> Interface type: KDI3310",
                                            "> Interface serial number: 109517"}
                             << true;
    QTest::newRow("3F") << "absent" << QString()
                        << QStringList{"> Response to SearchInterface 3F",
                                       "> Interface not found on COM7", "> Port COM7 is closed.",
                                       ">> Interface not found on COM7"}
                        << false;
    QTest::newRow("silence") << "silent" << QString()
                             << QStringList{">> Interface not found on COM7",
                                            "> Port COM7 is closed."}
                             << false;
    QTest::newRow("garbled") << "KDI3300:43981" << "Q#Z"
                             << QStringList{"> Invalid reply: Q#Z", "> Port COM7 is closed."}
                             << false;
}

void TestScanPty::scan()
{
    QFETCH(QString, box);
    QFETCH(QString, garble);
    QFETCH(QStringList, wanted);
    QFETCH(bool, found);

    BoxConfig config;
    QVERIFY(BoxConfig::parse(box, config));
    m_simulator.setBox(config);
    m_simulator.clearFaults();
    if (!garble.isEmpty()) {
        Fault fault;
        fault.kind = Fault::Kind::Garble;
        fault.garbleText = garble;
        m_simulator.setFault(Command::SearchInterface, fault);
    }

    RealClock clock;
    OperationLog log;
    QtSerialLink port;
    QtSerialLink scanPort;
    InterfaceScan scan(log, port, scanPort, clock);
    QList<int> saved;
    scan.setLastPortStore([]() { return 7; }, [&saved](int p) { saved.append(p); });
    bool scanEnabled = true;
    bool findEnabled = false;
    connect(&scan, &InterfaceScan::buttonEnabled, this, [&](InterfaceScan::Button b, bool on) {
        if (b == InterfaceScan::Button::ScanPort)
            scanEnabled = on;
        if (b == InterfaceScan::Button::FindDevices)
            findEnabled = on;
    });
    QElapsedTimer sinceSend;
    qint64 timeoutAt = -1;
    connect(&log, &OperationLog::lineAppended, this, [&](const QString &line) {
        if (line.contains(" Sending: .3F"))
            sinceSend.start();
        if (line.startsWith(">> "))
            timeoutAt = sinceSend.elapsed();
    });

    scan.cbPortDropDown();
    QCOMPARE(scan.currentText(), QStringLiteral("7"));
    scan.btnScanPortClick();
    QVERIFY(!scanEnabled);

    const QString last = wanted.last();
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(last), 6000);
    QTRY_VERIFY_WITH_TIMEOUT(scanEnabled, 3000);
    if (box == "silent" || box == "absent")
        QVERIFY2(timeoutAt >= 1900 && timeoutAt < 3500, qPrintable(QString::number(timeoutAt)));

    int from = 0;
    for (const QString &line : wanted) {
        const int at = int(log.lines().indexOf(line, from));
        QVERIFY2(at >= 0, qPrintable(line + "\n" + log.lines().join('\n')));
        from = at + 1;
    }
    QCOMPARE(findEnabled, found);
    QCOMPARE(saved, found ? QList<int>{7} : QList<int>{});
    QVERIFY(!scanPort.isOpen());
}

void TestScanPty::pulledAdapterWhileOpen()
{
    RealClock clock;
    OperationLog log;
    QtSerialLink port;
    QtSerialLink scanPort;
    InterfaceScan scan(log, port, scanPort, clock);
    bool refreshed = false;
    connect(&scan, &InterfaceScan::buttonStatesChanged, this, [&]() { refreshed = true; });

    QVERIFY(OpenDPXPort(port, 7, log, clock));
    QCOMPARE(log.lastLine(), QStringLiteral("Port COM7 is opened"));
    m_server->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 5000);
    QVERIFY2(log.lastLine().startsWith("[ERROR] Port COM7"), qPrintable(log.lastLine()));
    QVERIFY(refreshed);
    // Sending now is refused and reported, nothing crashes.
    QVERIFY(!SendFrame(log, port, SearchDeviceFrame()));
    QVERIFY(log.lastLine().startsWith("[ERROR] Port COM7"));
}

QTEST_GUILESS_MAIN(TestScanPty)
#include "tst_scan_pty.moc"
