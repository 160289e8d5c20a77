// A button press typed into the qbxsim program reaches the window's log over
// a pseudo-terminal and the real serial port code.
#include "dialogs.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "qtseriallink.h"

#include <QProcess>
#include <QPushButton>
#include <QtTest>

class TestKeyPressPty : public QObject
{
    Q_OBJECT
private slots:
    void pressInSimulatorIsLoggedOnce();
};

void TestKeyPressPty::pressInSimulatorIsLoggedOnce()
{
    QProcess qbxsim;
    qbxsim.start(QStringLiteral(QBXSIM), {"--com", "7", "--install", QStringLiteral(DEMO_INSTALL)});
    QVERIFY2(qbxsim.waitForStarted(), qPrintable(qbxsim.errorString()));
    QString device;
    while (device.isEmpty() && qbxsim.waitForReadyRead(10000)) {
        while (qbxsim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(qbxsim.readLine()).trimmed();
            if (line.startsWith(QLatin1String("export KORVEL_COM7=")))
                device = line.section(QLatin1Char('='), 1);
        }
    }
    QVERIFY2(!device.isEmpty(), "qbxsim printed no terminal");
    qputenv("KORVEL_COM7", device.toLocal8Bit());

    OperationLog log;
    RealClock clock;
    QtSerialLink port;
    QtSerialLink scanPort;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    TForm1 form({log, clock, port, scanPort, dialogs, platform});
    form.scan().setLastPortStore([]() { return 7; }, [](int) {});
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(form.btnFindMAIN->isEnabled(), 10000);
    form.btnFindMAIN->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.engine().searchRunning(), 20000);
    QVERIFY(log.contains("> Door station, serial number: 74565;"));

    // Counted after the engine has handled each line (connected later).
    int lines = 0;
    connect(&port, &SerialLink::dataAvailable, this, [&lines]() { ++lines; });
    qbxsim.readAll();
    qbxsim.write("press 74565 10\n");
    // The telegram and its repeat, both handled.
    QTRY_COMPARE_WITH_TIMEOUT(lines, 2, 10000);
    QCOMPARE(log.lines().count(QStringLiteral("> Key: 74565; AS:10 [0123458A]")), 1);
    QVERIFY(qbxsim.readAll().contains("pressed: 0123458A"));
    QVERIFY(dialogs.shown.isEmpty());

    qbxsim.write("quit\n");
    QVERIFY(qbxsim.waitForFinished(5000));
}

QTEST_MAIN(TestKeyPressPty)
#include "tst_keypress_pty.moc"
