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
#include "paramsdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {

// The demo installation on a pseudo-terminal as COM7, and the window on it
// with the real serial port code; the window remembers COM7 as its port.
struct DemoBus {
    sim::QbxSimulator simulator;
    sim::PtyServer server{simulator};
    OperationLog log;
    RealClock clock;
    QtSerialLink port;
    QtSerialLink scanPort;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    TForm1 form{{log, clock, port, scanPort, dialogs, platform}};
    QString error;

    DemoBus()
    {
        QFile demo(QStringLiteral(DEMO_INSTALL));
        if (!demo.open(QIODevice::ReadOnly))
            error = demo.errorString();
        else if (!simulator.loadInstallation(QString::fromUtf8(demo.readAll()), &error))
            return;
        else if (!server.start())
            error = server.errorString();
        qputenv("KORVEL_COM7", server.devicePath().toLocal8Bit());
        form.scan().setLastPortStore([]() { return 7; }, [](int) {});
    }
};

} // namespace

class TestGuiPty : public QObject
{
    Q_OBJECT
private slots:
    void scanAndFindDevices();
    void programAnInstallation();
};

void TestGuiPty::scanAndFindDevices()
{
    DemoBus bus;
    QVERIFY2(bus.error.isEmpty(), qPrintable(bus.error));
    OperationLog &log = bus.log;
    TForm1 &form = bus.form;
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

void TestGuiPty::programAnInstallation()
{
    DemoBus bus;
    QVERIFY2(bus.error.isEmpty(), qPrintable(bus.error));
    OperationLog &log = bus.log;
    TForm1 &form = bus.form;
    sim::QbxSimulator &simulator = bus.simulator;
    EngineState &engine = form.engine().state();
    TForm2 form2(bus.dialogs, engine.ParamImage, engine.InitMemoryMode, &form);
    form.setDialogs(nullptr, &form2, nullptr);
    // Memory steps at a brisk pace: the pseudo-terminal answers at once.
    for (EngineTimer *timer : form.engineTimers()) {
        if (timer->name().startsWith(QLatin1String("TRead")) ||
            timer->name().startsWith(QLatin1String("TWrite")) ||
            timer->name().startsWith(QLatin1String("TSelMem")) || timer->name() == "TReset")
            timer->setInterval(40);
    }
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(form.btnFindMAIN->isEnabled(), 10000);
    form.btnFindMAIN->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.engine().searchRunning(), 20000);

    // Button counts, and the EXT too old for the layouts left out.
    DeviceTable &devices = form.tables().tblDeviceSerials();
    for (const auto &[serial, keys] : {std::pair{74565, 10}, {703710, 16}}) {
        QVERIFY(devices.locate(DeviceTable::SerialNo, serial));
        QVERIFY(SetFieldValue(devices, DeviceTable::DeviceKeyNo, keys));
    }
    QVERIFY(devices.locate(DeviceTable::SerialNo, 703711));
    QVERIFY(SetFieldValue(devices, DeviceTable::DeviceActive, false));
    form.btnSetTestData->click();
    PhoneTable &phones = form.tables().tblPhoneSerials();
    QCOMPARE(phones.recordCount(), 26);
    auto serials = [&phones]() {
        QStringList out;
        for (int i = 0; i < phones.recordCount(); ++i)
            out << phones.valueAt(i, PhoneTable::SerialNoRead1).toString();
        return out;
    };
    const QStringList testData = serials();

    form.btnSendSN->click();
    QCOMPARE(form.btnSendSN->text(), QStringLiteral("Abort"));
    QTRY_VERIFY_WITH_TIMEOUT(!form.memory().busy(), 60000);
    QCOMPARE(log.lastLine(), QStringLiteral("> Reset device"));
    QCOMPARE(form.btnSendSN->text(), QStringLiteral("Send serials"));

    form.btnClearData->click();
    QVERIFY(serials() != testData);
    form.btnReadSN->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.memory().busy(), 60000);
    QCOMPARE(log.lastLine(), QStringLiteral("Serials writed in read column!"));
    QCOMPARE(serials(), testData);

    // Parameters: the dialog shows the MAIN's block; a new AS address is written.
    QVERIFY(devices.locate(DeviceTable::SerialNo, 74565));
    int shownAddress = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        if (QApplication::activeModalWidget() != &form2)
            return;
        poll.stop();
        shownAddress = form2.cbASAddress->currentIndex();
        form2.cbASAddress->setCurrentIndex(9);
        form2.btnSendParams->click();
    });
    poll.start(20);
    form.btnParams->click();
    QTRY_VERIFY_WITH_TIMEOUT(shownAddress >= 0, 20000);
    QCOMPARE(shownAddress, 5);
    QTRY_VERIFY_WITH_TIMEOUT(log.lines().count(QStringLiteral("> Reset device")) == 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!form.memory().busy(), 5000);
    QCOMPARE(QString::fromLatin1(simulator.station(74565)->memory.left(8).toHex().toUpper()),
             QStringLiteral("0940778000010200"));
}

QTEST_MAIN(TestGuiPty)
#include "tst_gui_pty.moc"
