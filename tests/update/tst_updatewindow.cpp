// The update check from the main window: the menu item, the close refusal
// while it runs, and the end of the start-up chain.
#include "dialogs.h"
#include "elapsedtime.h"
#include "engineclock.h"
#include "httpsserver.h"
#include "inifile.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "qbxsimulator.h"
#include "settingsdialog.h"
#include "simlink.h"
#include "updateconfig.h"

#include <QAction>
#include <QProgressBar>
#include <QtTest>

namespace
{

const QByteArray VersionPath = "/qbxnetsoftware/Tessera/activeversion.txt";
const QByteArray ProgramPath = "/qbxnetsoftware/Tessera/Korvel.x64.exe";

// The window on the simulator (interface box on COM7), with its settings
// file and program folder in a temporary folder that also holds the CA.
struct Window {
    QTemporaryDir folder;
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    sim::SimLink scanPort{simulator, clock};
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm3> form3;

    explicit Window(const QString &caFile)
    {
        const QString ini = folder.filePath(QStringLiteral("Korvel.x64.ini"));
        IniFile settings(ini);
        settings.writeInteger(QStringLiteral("ProgSett"), QStringLiteral("aLastPortNo"), 7);
        settings.writeString(QStringLiteral("ProgSett"), QStringLiteral("aUpdateCaFile"), caFile);
        form = std::make_unique<TForm1>(
            MainWindowServices{log, clock, port, scanPort, dialogs, platform, ini, folder.path()});
        form3 = std::make_unique<TForm3>(SettingsDialogServices{ini, {}, dialogs, log, nullptr},
                                         form.get());
        form->setDialogs(form3.get(), nullptr, nullptr);
        for (auto *link : {&port, &scanPort}) {
            link->setPorts({3, 7}, {3, 7});
            link->setSimulatorPort(7);
        }
    }
    QString downloaded() const { return folder.filePath(QStringLiteral("_Korvel.x64.exe")); }
    // Index of the first line from `from` on that starts with `prefix`, or -1.
    int find(const QString &prefix, int from = 0) const
    {
        for (int i = from; i < log.count(); ++i) {
            if (log.lines().at(i).startsWith(prefix))
                return i;
        }
        return -1;
    }
};

} // namespace

class TestUpdateWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void startupChainEnds_data();
    void startupChainEnds();
    void menuCheckWhileRunning();

private:
    QTemporaryDir m_pkiDir;
    TestPki m_pki;
    QByteArray m_program = QByteArray(30000, 'p');
};

void TestUpdateWindow::initTestCase()
{
    // Set but empty: no server, whatever the build configured.
    qputenv("KORVEL_UPDATE_BASE", QByteArray());
    m_pki = TestPki::make(m_pkiDir.path(), QStringLiteral("window"));
    QVERIFY2(m_pki.error.isEmpty(), qPrintable(m_pki.error));
}

void TestUpdateWindow::cleanup()
{
    qputenv("KORVEL_UPDATE_BASE", QByteArray());
}

void TestUpdateWindow::startupChainEnds_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("launched");
    QTest::newRow("no new version: Scan Port") << QByteArray("2.8") << false;
    QTest::newRow("new version started: window closes") << QByteArray("2.9") << true;
}

void TestUpdateWindow::startupChainEnds()
{
    QFETCH(QByteArray, version);
    QFETCH(bool, launched);
    TestHttpsServer https;
    QVERIFY(https.start(
        m_pki, "Basic " + (UpdateUserName() + ':' + UpdatePassword()).toUtf8().toBase64()));
    https.route(VersionPath,
                {200, "OK", version + ";x;" + QByteArray::number(m_program.size()), {}, false});
    https.route(ProgramPath, {200, "OK", m_program, {}, false});
    qputenv("KORVEL_UPDATE_BASE", https.base().toUtf8());

    Window w(m_pki.caFile);
    w.form->show();
    QTRY_VERIFY_WITH_TIMEOUT(!w.form->StartupChain, 30000);
    QVERIFY(!w.form->DownloadRunning);
    const QString th = QStringLiteral("[th%1]").arg(w.form->DownloadThreadId);
    const int begin = w.find(QStringLiteral("> Downloading files. ") + th);
    QVERIFY(begin >= 0);
    const int end = w.find(QStringLiteral("> Download completed. ") + th, begin);
    QVERIFY(end > begin);
    QVERIFY(!w.form->TimeElapsed->isRunning());
    QCOMPARE(w.form->NewVersionLaunched, launched);
    const int scan = w.find(QStringLiteral("> Searching Interface on COM7"));
    if (launched) {
        QVERIFY(w.find(QStringLiteral("> New version saved in:"), begin) < end);
        QCOMPARE(w.platform.calls, QStringList{"start " + w.downloaded() + " 1"});
        QVERIFY(!w.form->isVisible());
        QCOMPARE(scan, -1);
    } else {
        QCOMPARE(w.log.lines().at(end - 1), QStringLiteral("> No new version found."));
        QVERIFY(w.platform.calls.isEmpty());
        QVERIFY(w.form->isVisible());
        // Scan Port is pressed right after the check's end.
        QCOMPARE(scan, end + 2);
        QCOMPARE(w.log.lines().at(end + 1), QStringLiteral("Port COM7 is opened"));
    }
}

void TestUpdateWindow::menuCheckWhileRunning()
{
    TestHttpsServer https;
    QVERIFY(https.start(
        m_pki, "Basic " + (UpdateUserName() + ':' + UpdatePassword()).toUtf8().toBase64()));
    https.route(VersionPath,
                {200, "OK", "2.9;x;" + QByteArray::number(m_program.size()), {}, false});
    https.route(ProgramPath, {200, "OK", m_program, {}, false});

    // The chain's own check finds no server and ends with the scan.
    Window w(m_pki.caFile);
    w.form->show();
    QTRY_VERIFY_WITH_TIMEOUT(!w.form->StartupChain, 30000);
    QVERIFY(w.log.contains(QStringLiteral("> Net connection failed.")));
    // A left-over of an earlier check goes when the next one starts.
    QFile leftOver(w.downloaded());
    QVERIFY(leftOver.open(QIODevice::WriteOnly));
    leftOver.write("stale");
    leftOver.close();

    qputenv("KORVEL_UPDATE_BASE", https.base().toUtf8());
    https.hold();
    const int before = w.log.count();
    w.form->Checkfornewversion1->trigger();
    QVERIFY(w.form->DownloadRunning);
    QVERIFY(!QFile::exists(w.downloaded()));
    QTRY_COMPARE_WITH_TIMEOUT(https.heldCount(), 1, 30000);
    QVERIFY(w.form->TimeElapsed->isRunning());
    const QString th = QStringLiteral("[th%1]").arg(w.form->DownloadThreadId);
    QCOMPARE(w.log.lines().mid(before),
             (QStringList{"> Downloading files. " + th, "> Checking version..."}));

    // A second check does nothing; closing is refused and names the thread.
    w.form->Checkfornewversion1->trigger();
    QCOMPARE(w.log.count(), before + 2);
    QVERIFY(!w.form->close());
    QCOMPARE(w.log.lastLine(), "> Operation running! " + th);
    QVERIFY(w.form->isVisible());

    https.release();
    QTRY_VERIFY_WITH_TIMEOUT(!w.form->DownloadRunning, 30000);
    QCOMPARE(w.log.lines().mid(before + 3),
             (QStringList{"> New version 2.9 found.", "> Downloading. Please wait...",
                          "> New version saved in:",
                          QDir::toNativeSeparators(w.folder.path()) + QDir::separator(),
                          "> Download completed. " + th}));
    QCOMPARE(https.requests, (QList<QByteArray>{VersionPath, ProgramPath}));
    QCOMPARE(w.platform.calls, QStringList{"start " + w.downloaded() + " 1"});
    // From the menu the program stays open, and no scan follows.
    QVERIFY(w.form->isVisible());
    QVERIFY(w.form->NewVersionLaunched);
    QCOMPARE(w.form->PB->maximum(), m_program.size());
    QCOMPARE(w.form->PB->value(), 0);
    QVERIFY(w.form->close());
}

QTEST_MAIN(TestUpdateWindow)
#include "tst_updatewindow.moc"
