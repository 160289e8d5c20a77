// The program's window on real serial port code, against the simulator's
// demo installation on a pseudo-terminal.
#include "devicetable.h"
#include "grids.h"
#include "installationtables.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "ptyserver.h"
#include "qbxsimulator.h"
#include "qtseriallink.h"
#include "widgetdialogs.h"

#include <QFile>
#include <QPushButton>
#include <QtTest>

class TestGuiPty : public QObject
{
    Q_OBJECT
private slots:
    void scanAndFindDevices();
};

void TestGuiPty::scanAndFindDevices()
{
    sim::QbxSimulator simulator;
    QFile demo(QStringLiteral(DEMO_INSTALL));
    QVERIFY(demo.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY2(simulator.loadInstallation(QString::fromUtf8(demo.readAll()), &error),
             qPrintable(error));
    sim::PtyServer server(simulator);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    qputenv("KORVEL_COM7", server.devicePath().toLocal8Bit());

    OperationLog log;
    RealClock clock;
    QtSerialLink port;
    QtSerialLink scanPort;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    TForm1 form({log, clock, port, scanPort, dialogs, platform});
    form.scan().setLastPortStore([]() { return 7; }, [](int) {});
    form.show();

    // The start-up chain presses Scan Port on the remembered port.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("> Interface serial number: 43981"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(form.btnFindMAIN->isEnabled(), 5000);

    form.btnFindMAIN->click();
    QVERIFY(!form.btnFindMAIN->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!form.engine().searchRunning(), 20000);
    QVERIFY(form.btnFindMAIN->isEnabled());

    const QStringList lines = log.lines();
    for (const char *wanted :
         {"> Response to InitQBXBUS OK!", "> Searching MAIN device on QBX:BUS...",
          "> Response to SearchDevice OK!", "> Door station, serial number: 74565;",
          "> Requesting MAIN series type...", "> Checking series type 74565;",
          "> Received device type&ver: CA080012", "> Searching EXT device on QBX:BUS...",
          "> Door station, serial number: 703710;", "> Door station, serial number: 703711;",
          "> Requesting EXT series type...", "> Received device type&ver: C0000701"})
        QVERIFY2(lines.contains(QLatin1String(wanted)), wanted);

    DeviceTable &devices = form.tables().tblDeviceSerials();
    QCOMPARE(devices.recordCount(), 3);
    const QList<QVariantList> expected{{74565, 0, "Korvel", true},
                                       {703710, 1, "Korvel", QVariant()},
                                       {703711, 1, "Unsupported", QVariant()}};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(devices.valueAt(i, DeviceTable::SerialNo).toInt(), expected[i][0].toInt());
        QCOMPARE(devices.valueAt(i, DeviceTable::DeviceType).toInt(), expected[i][1].toInt());
        QCOMPARE(devices.valueAt(i, DeviceTable::SeriesTypeStr).toString(),
                 expected[i][2].toString());
        QCOMPARE(devices.valueAt(i, DeviceTable::IsVideoMain).toBool(), expected[i][3].toBool());
    }
    // The device grid shows them.
    QCOMPARE(form.CRDBGrid2->model()->rowCount(), 3);
    QCOMPARE(form.CRDBGrid2->model()->index(2, 0).data().toString(), QStringLiteral("703711"));
    // Read serials is ready now that door stations are known.
    QVERIFY(form.btnReadSN->isEnabled());
}

QTEST_MAIN(TestGuiPty)
#include "tst_gui_pty.moc"
