#include "aboutbox.h"
#include "buttonstate.h"
#include "dialogs.h"
#include "elapsedtime.h"
#include "grids.h"
#include "installationtables.h"
#include "logview.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "qbxsimulator.h"
#include "settingsdialog.h"
#include "settingsstore.h"
#include "simlink.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>

namespace {

// The main window on the simulator: the bus on virtual time, the window's
// own chain on the real event loop.
struct Window {
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    sim::SimLink scanPort{simulator, clock};
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    TForm1 form;
    TForm3 form3;

    explicit Window(int lastPort = 0, const QString &settingsPath = QString())
        : form({log, clock, port, scanPort, dialogs, platform, settingsPath}),
          form3({settingsPath, {}, dialogs, log, nullptr}, &form)
    {
        form.setDialogs(&form3, nullptr, nullptr);
        for (auto *link : {&port, &scanPort}) {
            link->setPorts({3, 7}, {3, 7});
            link->setSimulatorPort(7);
        }
        if (settingsPath.isEmpty())
            form.scan().setLastPortStore([lastPort]() { return lastPort; }, [](int) {});
    }
    QPushButton *button(const char *name) { return form.findChild<QPushButton *>(name); }
};

// Counts the resize events a widget gets.
class ResizeCounter : public QObject
{
public:
    explicit ResizeCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            ++count;
        return false;
    }
};

// The work area the window frame must stay in.
QRect workArea(const QWidget &w)
{
    return w.screen()->availableGeometry();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void designButtonStates_data();
    void designButtonStates();
    void buttonRule_data();
    void buttonRule();
    void buttonStatesFollowTables();
    void memoryOperationButtons();
    void settingsFileAtStartAndFirstExit();
    void timeOutsReachEngineTimersAtStart();
    void lastGoodPort_data();
    void lastGoodPort();
    void settingsMenuAndValuesInEffect();
    void menuItems();
    void menuItemsAreWired();
    void startupChainEndsWithScan();
    void startupChainOfflineDoesNotScan();
    void closeRefusedWhileWorkerRuns_data();
    void closeRefusedWhileWorkerRuns();
    void statusBarFollowsResize();
    void sizeLimitsAndMaximize();
    void startsWithTitleBarOnScreen();
    void logFollowsNewLines();
    void aboutBoxText();
    void stepProgressAndElapsedTime();
    void keyPressMonitor();
};

void TestMainWindow::designButtonStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    const QList<std::tuple<const char *, const char *, bool>> rows = {
        {"btnScanPort", "Scan Port", true},     {"btnNewTXT", "New", true},
        {"btnClearTbl", "Clr table", true},     {"btnClearData", "Clr data", true},
        {"btnSetTestData", "Set test data", true}, {"btnFindMAIN", "Find devices", false},
        {"btnReadSN", "Read serials", false},   {"btnSendSN", "Send serials", false},
        {"btnParams", "Parameters", false},     {"btnOption", "+", false},
        {"btnImport", "<= Import", false},      {"btnExport", "Export =>", false},
        {"btnEditTXT", "Edit", false},          {"btnRenameTXT", "Rename", false},
        {"btnDeleteTXT", "Delete", false}};
    for (const auto &[name, caption, enabled] : rows)
        QTest::newRow(name) << QString(name) << QString(caption) << enabled;
}

void TestMainWindow::designButtonStates()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    Window w;
    QPushButton *b = w.form.findChild<QPushButton *>(name);
    QVERIFY(b);
    QCOMPARE(b->text(), caption);
    QCOMPARE(b->isEnabled(), enabled);
}

void TestMainWindow::buttonRule_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("main");
    QTest::addColumn<int>("phones");
    QTest::addColumn<int>("progFiles");
    QTest::addColumn<int>("testFiles");
    // read/import, params/option, send/export, edit/rename/delete
    QTest::addColumn<QList<bool>>("expected");

    QTest::newRow("ready, MAIN row, phones") << 2 << "3" << true << 4 << 1 << 0
                                             << QList<bool>{true, true, true, true};
    QTest::newRow("rows but offline") << 2 << "offline" << true << 4 << 0 << 0
                                      << QList<bool>{false, false, false, false};
    QTest::newRow("no port selected") << 2 << "" << true << 4 << 0 << 0
                                      << QList<bool>{false, false, false, false};
    QTest::newRow("empty device table") << 0 << "3" << true << 4 << 0 << 0
                                        << QList<bool>{false, false, false, false};
    QTest::newRow("EXT current row") << 2 << "3" << false << 4 << 0 << 0
                                     << QList<bool>{true, false, true, false};
    QTest::newRow("empty phone table") << 1 << "3" << true << 0 << 0 << 0
                                       << QList<bool>{true, true, false, false};
    QTest::newRow("only test list has a file") << 0 << "offline" << false << 0 << 0 << 1
                                               << QList<bool>{false, false, false, true};
    QTest::newRow("refresh shown counts as a port") << 1 << "refresh" << true << 1 << 0 << 0
                                                    << QList<bool>{true, true, true, false};
}

void TestMainWindow::buttonRule()
{
    QFETCH(int, devices);
    QFETCH(QString, port);
    QFETCH(bool, main);
    QFETCH(int, phones);
    QFETCH(int, progFiles);
    QFETCH(int, testFiles);
    QFETCH(QList<bool>, expected);

    const ButtonStates s = ComputeButtonStates({devices, port, main, phones, progFiles, testFiles});
    QCOMPARE(s.readSN, expected.at(0));
    QCOMPARE(s.import, expected.at(0));
    QCOMPARE(s.params, expected.at(1));
    QCOMPARE(s.option, expected.at(1));
    QCOMPARE(s.sendSN, expected.at(2));
    QCOMPARE(s.exportList, expected.at(2));
    QCOMPARE(s.editTXT, expected.at(3));
    QCOMPARE(s.renameTXT, expected.at(3));
    QCOMPARE(s.deleteTXT, expected.at(3));
}

void TestMainWindow::buttonStatesFollowTables()
{
    Window w(7);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    DeviceTable &devices = w.form.tables().tblDeviceSerials();
    QVERIFY(devices.appendFoundDevice(4660, 0, 0));
    QVERIFY(devices.appendFoundDevice(74565, 1, 1));
    QVERIFY(devices.locate(DeviceTable::SerialNo, 4660));
    w.form.UpdateBtnState();
    QVERIFY(w.button("btnReadSN")->isEnabled());
    QVERIFY(w.button("btnParams")->isEnabled());
    QVERIFY(!w.button("btnSendSN")->isEnabled());

    // Moving to the EXT row disables Parameters at once.
    QVERIFY(devices.locate(DeviceTable::SerialNo, 74565));
    QVERIFY(!w.button("btnParams")->isEnabled());

    // Offline: nothing that needs the bus stays enabled.
    const int offline = w.form.cbPort->findText("offline");
    w.form.cbPort->setCurrentIndex(offline);
    emit w.form.cbPort->activated(offline);
    for (const char *name : {"btnReadSN", "btnImport", "btnParams", "btnOption", "btnSendSN",
                             "btnExport"})
        QVERIFY2(!w.button(name)->isEnabled(), name);
}

void TestMainWindow::memoryOperationButtons()
{
    Window w(7);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    w.clock.advance(2000);
    sim::Station main;
    QVERIFY(sim::Station::parse(QStringLiteral("main 74565 type=A00"), main));
    w.simulator.addStation(main);
    w.button("btnFindMAIN")->click();
    QVERIFY(w.clock.advanceUntil([&]() { return !w.form.engine().searchRunning(); }, 30000));
    DeviceTable &devices = w.form.tables().tblDeviceSerials();
    devices.first();
    QVERIFY(SetFieldValue(devices, DeviceTable::DeviceKeyNo, 10));
    w.button("btnSetTestData")->click();

    QPushButton *send = w.button("btnSendSN");
    QVERIFY(send->isEnabled());
    send->click();
    // Only the running operation's Abort can be pressed.
    QCOMPARE(send->text(), QStringLiteral("Abort"));
    QVERIFY(send->isEnabled());
    for (const char *name : {"btnReadSN", "btnParams", "btnOption", "btnFindMAIN", "btnScanPort"})
        QVERIFY2(!w.button(name)->isEnabled(), name);
    QVERIFY(w.clock.advanceUntil([&]() { return w.form.PB->value() == 30; }, 30000));
    QCOMPARE(w.form.PB->maximum(), 60);
    QVERIFY(w.form.TimeElapsed->isRunning());

    QVERIFY(w.clock.advanceUntil([&]() { return !w.form.memory().busy(); }, 60000));
    QCOMPARE(send->text(), QStringLiteral("Send serials"));
    QCOMPARE(w.form.PB->value(), 0);
    QVERIFY(!w.form.TimeElapsed->isRunning());
    for (const char *name : {"btnReadSN", "btnSendSN", "btnParams", "btnOption", "btnFindMAIN",
                             "btnScanPort"})
        QVERIFY2(w.button(name)->isEnabled(), name);

    // Read serials and its Abort through the button.
    w.button("btnClearData")->click();
    w.button("btnReadSN")->click();
    QCOMPARE(w.button("btnReadSN")->text(), QStringLiteral("Abort"));
    QVERIFY(!send->isEnabled());
    w.clock.advance(1500);
    w.button("btnReadSN")->click();
    QCOMPARE(w.button("btnReadSN")->text(), QStringLiteral("Read serials"));
    QVERIFY(send->isEnabled());
    QVERIFY(w.form.tables().tblPhoneSerials().valueAt(0, PhoneTable::SerialNoRead1).isNull());
}

void TestMainWindow::settingsFileAtStartAndFirstExit()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("Korvel.x64.ini");
    {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[TimeSett]\r\nTimeOutProtokol=0x1F4\r\n[ProgSett]\r\naLastPortNo=7\r\n");
    }
    {
        Window w(0, ini);
        w.form.show();
        QTRY_VERIFY(!w.form.StartupChain);
        QCOMPARE(w.log.lines().first(), QStringLiteral("RS232 speed is set!"));
        QCOMPARE(w.form.cbPort->currentText(), QStringLiteral("7"));
        QVERIFY(w.log.contains("> Searching Interface on COM7..."));
        QCOMPARE(w.form.scan().closePortTimer().interval(), 500);
        QVERIFY(w.form.close());
    }
    // An existing file is not rewritten on exit.
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("aWarnings"));
    file.close();

    // Without a file the first exit writes it; a found port is stored at once.
    QVERIFY(QFile::remove(ini));
    {
        Window w(0, ini);
        w.form.show();
        QTRY_VERIFY(!w.form.StartupChain);
        QCOMPARE(w.log.lines().first(), QStringLiteral("QBXBUS USB speed is set!"));
        QCOMPARE(w.form.cbPort->currentText(), QStringLiteral("offline"));
        QVERIFY(!QFileInfo::exists(ini));
        QVERIFY(w.form.close());
        QVERIFY(QFileInfo::exists(ini));
    }
    QCOMPARE(LoadSettingsValues(ini).timeOutProtokol, 300);
    QCOMPARE(LoadLastPort(ini), 0);
}

void TestMainWindow::lastGoodPort_data()
{
    QTest::addColumn<bool>("writable");
    QTest::newRow("stored, preselected at the next start") << true;
    QTest::newRow("settings folder not writable") << false;
}

void TestMainWindow::lastGoodPort()
{
    QFETCH(bool, writable);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A regular file where the settings folder should be: every write fails.
    QFile blocker(dir.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString ini = dir.filePath(writable ? "Korvel.x64.ini" : "blocker/Korvel.x64.ini");
    {
        Window w(0, ini);
        w.form.show();
        QTRY_VERIFY(!w.form.StartupChain);
        QCOMPARE(w.form.cbPort->currentText(), QStringLiteral("offline"));
        const int seven = w.form.cbPort->findText("7");
        w.form.cbPort->setCurrentIndex(seven);
        emit w.form.cbPort->activated(seven);
        w.button("btnScanPort")->click();
        w.clock.advance(1000);
        QVERIFY(w.log.contains("> Interface found on COM7"));
        QCOMPARE(LoadLastPort(ini), writable ? 7 : 0);
        const QStringList lines = w.log.lines();
        const bool reported = std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
            return line.startsWith(QLatin1String("> Error: Cannot write "));
        });
        QCOMPARE(reported, !writable);
        // A failed write does not stop the scan's work.
        QVERIFY(w.button("btnFindMAIN")->isEnabled());
        QVERIFY(w.form.close());
    }
    if (!writable)
        return;

    // The scan made the file, so the exit leaves it as the scan wrote it.
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[ProgSett]\r\naLastPortNo=7\r\n"));
    file.close();

    Window w(0, ini);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    QCOMPARE(w.form.cbPort->currentText(), QStringLiteral("7"));
    QVERIFY(w.log.contains("> Searching Interface on COM7..."));
}

void TestMainWindow::settingsMenuAndValuesInEffect()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString ini = dir.filePath("Korvel.x64.ini");
    const QByteArray stored = "[ReportSett]\r\naWarnings=1\r\n"
                              "[PathSett]\r\naTxtFilePath=C:\\Phones\\prog\r\n";
    {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(stored);
    }
    Window w(0, ini);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);

    bool modal = false;
    QString folder;
    QTimer::singleShot(0, &w.form, [&w, &modal, &folder]() {
        modal = w.form3.isVisible() && w.form3.isModal();
        folder = w.form3.edbtnTxtPath->text();
        w.form3.cbShowWarnings->click();
        w.dialogs.answers << Dialogs::Answer::Cancel;
        w.form3.close();
    });
    w.form.Settings1->trigger();
    QVERIFY(modal);
    QCOMPARE(folder, QStringLiteral("C:\\Phones\\prog"));
    QCOMPARE(w.dialogs.shownTexts(),
             QStringList{QStringLiteral("You changed the settings.\r\nDo you want to save them?")});
    QVERIFY(!w.form3.isVisible());

    // "Show warnings" counts as the box shows it, saved or not: the tables
    // ask no optional question while it is off, and ask again once it is on.
    InstallationTables &tables = w.form.tables();
    w.dialogs.shown.clear();
    QVERIFY(tables.confirmSendLength(5));
    QCOMPARE(w.dialogs.shownTexts(), QStringList());
    w.form3.cbShowWarnings->click();
    w.dialogs.answers << Dialogs::Answer::Cancel;
    QVERIFY(!tables.confirmSendLength(5));
    QCOMPARE(w.dialogs.shown.size(), 1);
    QCOMPARE(w.dialogs.shown.at(0).kind, Dialogs::Kind::Warning);

    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stored);
}

void TestMainWindow::timeOutsReachEngineTimersAtStart()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("Korvel.x64.ini");
    {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[TimeSett]\r\nTimeOutProtokol=150\r\nTimeOutWrite=800\r\n");
    }
    Window w(0, ini);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    BusEngine &engine = w.form.engine();
    QMap<QString, int> intervals;
    for (EngineTimer *timer : w.form.engineTimers())
        intervals[timer->name()] = timer->interval();
    const QMap<QString, int> expected{
        {"TSearchArvo", 150},      {"TSearchKennung", 150},   {"TSelMemReadDevice", 150},
        {"TSelMemWriteDevice", 150}, {"TReset", 150},          {"TClosePort", 150},
        {"TReadSerials", 300},     {"TReadSerialsExt", 300},  {"TReadParams", 300},
        {"TWriteSerials", 800},    {"TWriteSerialsExt", 300}, {"TWriteParams", 300},
        {"TSearchExt", 500},       {"TTimeOutSend", 1250}};
    QCOMPARE(intervals, expected);
    // 150 is below both speed ranges: no timing-mode line.
    QVERIFY(!w.log.contains("QBXBUS USB speed is set!"));
    QCOMPARE(engine.TSearchArvo.interval(), 150);
}

void TestMainWindow::menuItems()
{
    Window w;
    QStringList captions;
    const auto menus = w.form.menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->text(), QStringLiteral("Functions"));
    for (QAction *a : menus.at(0)->menu()->actions()) {
        if (!a->isSeparator())
            captions << a->text();
    }
    QCOMPARE(captions, (QStringList{"Settings", "Check for new version", "Refresh file list",
                                    "Refresh test file list", "Show scrollbar", "Exit"}));
    QCOMPARE(menus.at(1)->text(), QStringLiteral("About"));
}

void TestMainWindow::menuItemsAreWired()
{
    // The refresh items are followed through in tst_mainwindow_files.
    Window w;
    TForm4 about;
    w.form.setDialogs(&w.form3, nullptr, &about);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);

    bool aboutShown = false;
    QTimer::singleShot(0, &about, [&]() {
        aboutShown = about.isVisible();
        about.reject();
    });
    w.form.About1->trigger();
    QVERIFY(aboutShown);

    // Show scrollbar makes both grids lay out anew.
    ResizeCounter phones(w.form.CRDBGrid1);
    ResizeCounter devices(w.form.CRDBGrid2);
    w.form.Showscrollbar1->trigger();
    QVERIFY(phones.count >= 2);
    QVERIFY(devices.count >= 2);

    w.form.Exit1->trigger();
    QVERIFY(!w.form.isVisible());
}

void TestMainWindow::startupChainEndsWithScan()
{
    Window w(7);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    const QStringList lines = w.log.lines();
    QCOMPARE(lines.at(0), QStringLiteral("QBXBUS USB speed is set!"));
    QCOMPARE(lines.at(1), QStringLiteral("> Found COM3"));
    QCOMPARE(lines.at(2), QStringLiteral("> Found COM7"));
    QVERIFY(w.log.contains("> Searching Interface on COM7..."));
    QCOMPARE(w.form.cbPort->currentText(), QStringLiteral("7"));
    QCOMPARE(w.form.cbPort->count(), 4);
    QVERIFY(!w.button("btnScanPort")->isEnabled());
    w.clock.advance(1000);
    QVERIFY(w.log.contains("> Interface type: KDI3300"));
    QVERIFY(w.button("btnScanPort")->isEnabled());
    QVERIFY(w.button("btnFindMAIN")->isEnabled());
}

void TestMainWindow::startupChainOfflineDoesNotScan()
{
    Window w(0);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    QCOMPARE(w.form.cbPort->currentText(), QStringLiteral("offline"));
    QVERIFY(w.scanPort.sent.isEmpty());
    // Pressing Scan Port while offline says so and does nothing else.
    w.button("btnScanPort")->click();
    QCOMPARE(w.log.lastLine(), QStringLiteral("ERROR: You are in offline mode!"));
    QVERIFY(w.button("btnScanPort")->isEnabled());
}

void TestMainWindow::closeRefusedWhileWorkerRuns_data()
{
    QTest::addColumn<bool>("files");
    QTest::addColumn<bool>("testFiles");
    QTest::addColumn<bool>("download");
    QTest::addColumn<QString>("line");
    QTest::newRow("test list loading") << false << true << false << "> Operation running! [th202]";
    QTest::newRow("both lists: first named") << true << true << true
                                             << "> Operation running! [th101]";
    QTest::newRow("update check") << false << false << true << "> Operation running! [th303]";
    QTest::newRow("nothing runs") << false << false << false << QString();
}

void TestMainWindow::closeRefusedWhileWorkerRuns()
{
    QFETCH(bool, files);
    QFETCH(bool, testFiles);
    QFETCH(bool, download);
    QFETCH(QString, line);
    Window w;
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    w.form.LoadFilesRunning = files;
    w.form.LoadTestFilesRunning = testFiles;
    w.form.DownloadRunning = download;
    w.form.LoadFilesThreadId = 101;
    w.form.LoadTestFilesThreadId = 202;
    w.form.DownloadThreadId = 303;
    const int before = w.log.count();
    const bool closed = w.form.close();
    QCOMPARE(closed, line.isEmpty());
    QCOMPARE(w.form.isVisible(), !line.isEmpty());
    if (!line.isEmpty()) {
        QCOMPARE(w.log.count(), before + 1);
        QCOMPARE(w.log.lastLine(), line);
    }
}

void TestMainWindow::statusBarFollowsResize()
{
    Window w;
    w.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    for (int width : {950, 1050, 1000}) {
        w.form.resize(width, 520);
        QTRY_COMPARE(w.form.width(), width);
        QCOMPARE(w.form.PB->width(), w.form.SB->width() - 130);
    }
    QCOMPARE(w.form.sbCompleted->text(), QStringLiteral("Completed:"));
    QCOMPARE(w.form.TimeElapsed->width(), 50);
}

void TestMainWindow::sizeLimitsAndMaximize()
{
    Window w;
    QCOMPARE(w.form.minimumWidth(), 950);
    QCOMPARE(w.form.maximumWidth(), 1050);
    QCOMPARE(w.form.minimumHeight(), 450);
    w.form.resize(2000, 300);
    QCOMPARE(w.form.width(), 1050);
    QCOMPARE(w.form.height(), 450);
    w.form.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    QTRY_VERIFY(w.form.width() >= 950 && w.form.width() <= 1050);
    // The frame, title bar included, fills the work area's height from its top.
    const QRect work = workArea(w.form);
    QCOMPARE(w.form.frameGeometry().height(), work.height());
    QCOMPARE(w.form.frameGeometry().topLeft(), work.topLeft());
}

void TestMainWindow::startsWithTitleBarOnScreen()
{
    Window w;
    w.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    const QRect work = workArea(w.form);
    const QRect frame = w.form.frameGeometry();
    QVERIFY2(frame.top() >= work.top() && frame.left() >= work.left(),
             qPrintable(QStringLiteral("frame at %1,%2").arg(frame.left()).arg(frame.top())));
    QVERIFY(frame.bottom() <= work.bottom());
    // Centred where it fits.
    if (frame.width() <= work.width())
        QVERIFY(qAbs(frame.center().x() - work.center().x()) <= 1);
    QVERIFY(qAbs(frame.center().y() - work.center().y()) <= 1);
}

void TestMainWindow::logFollowsNewLines()
{
    Window w;
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    for (int i = 0; i < 500; ++i)
        w.log.append(QStringLiteral("> line %1").arg(i));
    const QStringList shown = w.form.Memo1->toPlainText().split('\n');
    QCOMPARE(shown, w.log.lines());
    QScrollBar *bar = w.form.Memo1->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
}

void TestMainWindow::aboutBoxText()
{
    TForm4 about;
    QCOMPARE(about.lblVersion->text(), QStringLiteral("ver. 2.8\n64bit"));
}

void TestMainWindow::stepProgressAndElapsedTime()
{
    QProgressBar bar;
    bar.setRange(0, 10);
    bar.setValue(3);
    TForm1::StepProgress(&bar);
    QCOMPARE(bar.value(), 4);

    QCOMPARE(ElapsedTimeDisplay::format(0), QStringLiteral("00:00:00"));
    QCOMPARE(ElapsedTimeDisplay::format(3723000), QStringLiteral("01:02:03"));
    QCOMPARE(ElapsedTimeDisplay::format(59999), QStringLiteral("00:00:59"));
    ElapsedTimeDisplay display;
    display.Start();
    QTest::qWait(30);
    display.Stop();
    const qint64 stopped = display.elapsedMs();
    QVERIFY(stopped >= 30);
    QTest::qWait(30);
    QCOMPARE(display.elapsedMs(), stopped);
    display.Reset();
    QCOMPARE(display.text(), QStringLiteral("00:00:00"));
}

void TestMainWindow::keyPressMonitor()
{
    Window w(7);
    sim::Station main;
    QVERIFY(sim::Station::parse("main 74565 type=A08", main));
    w.simulator.addStation(main);
    w.form.show();
    QTRY_VERIFY(!w.form.StartupChain);
    w.clock.advance(1000);
    w.button("btnFindMAIN")->click();
    QVERIFY(w.clock.advanceUntil([&w]() { return !w.form.engine().searchRunning(); }, 20000));

    QCheckBox *box = w.form.findChild<QCheckBox *>("cbDebugMode");
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Detect double key press"));
    QVERIFY(!box->isChecked());
    QCOMPARE(box->parentWidget(), w.form.CRDBGrid1->parentWidget());

    PhoneTable &phones = w.form.tables().tblPhoneSerials();
    QVERIFY(phones.appendRow(1, 1001, 2001));
    QVERIFY(phones.appendRow(2, 1002, 74565));
    phones.first();
    auto press = [&w](quint32 serial) {
        QVERIFY(w.simulator.press(serial, 10));
        w.clock.advance(1000);
    };
    const QString line = QStringLiteral("> Key: 74565; AS:10 [0123458A]");
    const QString pressedOnce = QStringLiteral("Serial number 74565 already pressed once!?");

    // The dispatcher feeds the monitor; the phone grid follows the table.
    press(74565);
    QCOMPARE(w.log.lines().count(line), 1);
    QCOMPARE(phones.currentPosition(), 1);
    QCOMPARE(w.form.CRDBGrid1->currentIndex().row(), 1);
    QVERIFY(w.dialogs.shown.isEmpty());

    // Double presses count only while the box is on; off and on starts afresh.
    box->click();
    press(74565);
    QVERIFY(w.dialogs.shown.isEmpty());
    press(74565);
    QCOMPARE(w.dialogs.shownTexts(), QStringList{pressedOnce});
    box->click();
    QCOMPARE(w.form.KeyNumberList.count(), 0);
    box->click();
    press(74565);
    QCOMPARE(w.dialogs.shownTexts(), QStringList{pressedOnce});
    QCOMPARE(w.form.KeyNumberList.items(), QStringList{"74565"});

    // "Show warnings" as the settings dialog shows it, saved or not.
    w.dialogs.shown.clear();
    press(99999);
    QCOMPARE(w.dialogs.shownTexts(),
             QStringList{"Serial number 99999 does not exist in table!?"});
    w.form3.cbShowWarnings->click();
    w.dialogs.shown.clear();
    press(88888);
    QVERIFY(w.dialogs.shown.isEmpty());
    QVERIFY(w.log.contains("> Key: 88888; AS:10 [015B388A]"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
