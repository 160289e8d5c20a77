#include "crashreporter.h"
#include "dialogs.h"
#include "engineclock.h"
#include "operationlog.h"
#include "settingsdialog.h"
#include "settingsstore.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QtTest>

#include <memory>
#include <stdexcept>
#include <vector>

namespace
{

const QString IniName = QStringLiteral("Korvel.x64.ini");
const QString SavedMessage = QStringLiteral("Settings are sucessfully saved!");
const QString SaveQuestion =
    QStringLiteral("You changed the settings.\r\nDo you want to save them?");
const QString RefreshQuestion = QStringLiteral("Refresh file list?");
const QString RefreshTestQuestion = QStringLiteral("Refresh test file list?");

// The twelve engine timers, in the order the expected intervals list them.
const QStringList TimerNames = {QStringLiteral("TSearchArvo"),
                                QStringLiteral("TSearchKennung"),
                                QStringLiteral("TSelMemReadDevice"),
                                QStringLiteral("TSelMemWriteDevice"),
                                QStringLiteral("TReset"),
                                QStringLiteral("TClosePort"),
                                QStringLiteral("TReadSerials"),
                                QStringLiteral("TReadSerialsExt"),
                                QStringLiteral("TReadParams"),
                                QStringLiteral("TWriteSerials"),
                                QStringLiteral("TWriteSerialsExt"),
                                QStringLiteral("TWriteParams")};

// Intervals in TimerNames order: the six protocol timers, the two serial
// read timers, TReadParams, TWriteSerials, TWriteSerialsExt and TWriteParams.
QList<int> intervals(int protokol, int read, int readParams, int write, int otherWrites)
{
    QList<int> out;
    for (int i = 0; i < 6; ++i)
        out << protokol;
    out << read << read << readParams << write << otherWrites << otherWrites;
    return out;
}

QList<int> allIntervals(int ms)
{
    return intervals(ms, ms, ms, ms, ms);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

KorvelApplication *app()
{
    return static_cast<KorvelApplication *>(QCoreApplication::instance());
}

std::vector<std::unique_ptr<EngineTimer>> makeTimers(EngineClock &clock, const QStringList &names)
{
    std::vector<std::unique_ptr<EngineTimer>> timers;
    for (const QString &name : names)
        timers.push_back(std::make_unique<EngineTimer>(name, clock, 300));
    return timers;
}

QList<EngineTimer *> timerList(const std::vector<std::unique_ptr<EngineTimer>> &timers)
{
    QList<EngineTimer *> out;
    for (const auto &timer : timers)
        out << timer.get();
    return out;
}

// The dialog with the engine's timers, scripted dialogs, the reporter and
// the window's refresh hooks, over a settings file in a temporary folder.
struct Env {
    QTemporaryDir dir;
    QString ini;
    FakeClock clock;
    std::vector<std::unique_ptr<EngineTimer>> timers;
    OperationLog log;
    ScriptedDialogs dialogs;
    CrashReporter reporter;
    TForm3 form;

    QStringList refreshed; // "txt:" or "test:" and the folder the refresh saw
    QList<CrashReport> reports;
    QList<bool> offers;
    QList<QUrl> mails;
    bool pressSend = false;
    bool mailTaken = true;

    explicit Env(const QByteArray &iniText = QByteArray(), const QString &iniPath = QString(),
                 const QStringList &names = TimerNames)
        : ini(iniPath.isEmpty() ? dir.filePath(IniName) : iniPath),
          timers(makeTimers(clock, names)), reporter(ini, &log),
          form({ini, timerList(timers), dialogs, log, &reporter})
    {
        if (!iniText.isEmpty())
            putFile(ini, iniText);
        form.RefreshTxtFileList = [this]() {
            refreshed << QStringLiteral("txt:") + form.txtFilePath();
        };
        form.RefreshTxtTestFileList = [this]() {
            refreshed << QStringLiteral("test:") + form.txtTestFilePath();
        };
        reporter.setShowReport([this](const CrashReport &report, bool offerSend) {
            reports << report;
            offers << offerSend;
            return pressSend;
        });
        reporter.setSendMail([this](const QUrl &url) {
            mails << url;
            return mailTaken;
        });
        app()->setCrashReporter(&reporter);
    }
    ~Env() { app()->setCrashReporter(nullptr); }

    int interval(const QString &name) const
    {
        for (const auto &timer : timers) {
            if (timer->name() == name)
                return timer->interval();
        }
        return -1;
    }
    QList<int> intervals() const
    {
        QList<int> out;
        for (const QString &name : TimerNames)
            out << interval(name);
        return out;
    }
    QList<int> shownTimeOuts() const
    {
        return {form.spTimeOutProtokol->value(), form.spTimeOutRead->value(),
                form.spTimeOutWrite->value()};
    }
};

// One change in the open dialog, as the technician makes it.
void makeChange(Env &env, const QString &change)
{
    TForm3 &f = env.form;
    if (change == QLatin1String("time-out"))
        f.spTimeOutRead->setValue(450);
    else if (change == QLatin1String("port type"))
        f.rgSerial->item(PortTypeRs232)->click();
    else if (change == QLatin1String("folder"))
        f.edbtnTxtPath->setText(QStringLiteral("D:\\New\\prog"));
    else if (change == QLatin1String("test folder"))
        f.edbtnTxtTestPath->setText(QStringLiteral("D:\\New\\test"));
    else if (change == QLatin1String("current year"))
        f.cbLoadCurrYear->click();
    else if (change == QLatin1String("warnings"))
        f.cbShowWarnings->click();
    else if (change == QLatin1String("bug report"))
        f.cbSendBugReport->click();
    else if (change == QLatin1String("time-out and test folder")) {
        makeChange(env, QStringLiteral("time-out"));
        makeChange(env, QStringLiteral("test folder"));
    } else
        QVERIFY2(change.isEmpty(), qPrintable(change));
}

const QByteArray StoredFile = "[TimeSett]\r\nTimeOutProtokol=300\r\nTimeOutRead=300\r\n"
                              "TimeOutWrite=300\r\naUSBorSerial=0\r\n"
                              "[PathSett]\r\naTxtFilePath=C:\\Phones\\prog\r\n"
                              "aTxtTestFilePath=C:\\Phones\\test\r\n";

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void startupTimeOuts_data();
    void startupTimeOuts();
    void startupFieldsAndReporter_data();
    void startupFieldsAndReporter();
    void showAndApplyTimeOuts_data();
    void showAndApplyTimeOuts();
    void worksWithSomeTimersOnly();
    void controlsAndCaptions();
    void timeOutFieldLeft_data();
    void timeOutFieldLeft();
    void applyQuestions_data();
    void applyQuestions();
    void closeQuestion_data();
    void closeQuestion();
    void cancelKeepsFolderUntilNextShowing();
    void silentSetters();
    void folderPicker_data();
    void folderPicker();
    void refreshButtons_data();
    void refreshButtons();
    void bugReportOptionTogglesReporterAtOnce();
    void unwritableSettingsFile_data();
    void unwritableSettingsFile();
    void errorEscapingHandlerReachesReporter_data();
    void errorEscapingHandlerReachesReporter();
    void reportFileHasLastLogLines();
    void sending_data();
    void sending();
    void errorWhileReportShows();
};

void TestSettingsDialog::startupTimeOuts_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("no file") << QByteArray() << allIntervals(300);
    QTest::newRow("protokol 150, not range-checked")
        << QByteArray("[TimeSett]\r\nTimeOutProtokol=150\r\n")
        << intervals(150, 300, 300, 300, 300);
    QTest::newRow("write 800 only into TWriteSerials")
        << QByteArray("[TimeSett]\r\nTimeOutWrite=800\r\n") << intervals(300, 300, 300, 800, 300);
    QTest::newRow("read 0x1C2, TReadParams keeps 300")
        << QByteArray("[timesett]\r\ntimeoutread=0x1C2\r\n") << intervals(300, 450, 300, 300, 300);
    QTest::newRow("above 999 as stored") << QByteArray("[TimeSett]\r\nTimeOutProtokol=1500\r\n")
                                         << intervals(1500, 300, 300, 300, 300);
    QTest::newRow("zero and negative cannot pace the bus")
        << QByteArray("[TimeSett]\r\nTimeOutProtokol=0\r\nTimeOutRead=-5\r\nTimeOutWrite=250\r\n")
        << intervals(300, 300, 300, 250, 300);
}

void TestSettingsDialog::startupTimeOuts()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<int>, expected);
    Env env(ini);
    QVERIFY(env.dir.isValid());
    env.form.LoadSettings();
    QCOMPARE(env.intervals(), expected);
}

void TestSettingsDialog::startupFieldsAndReporter_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("txtPath");
    QTest::addColumn<QString>("testPath");
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<bool>("loadOnlyCurrent");
    QTest::addColumn<bool>("autoSend");

    QTest::newRow("no file") << QByteArray() << QString() << QString() << true << false << true;
    QTest::newRow("stored values")
        << QByteArray("[ReportSett]\r\naSendReport=0\r\naWarnings=0\r\naLoadOnlyCurrent=1\r\n"
                      "[PathSett]\r\naTxtFilePath=C:\\Phones\\prog\r\naTxtTestFilePath=D:\\t\r\n")
        << QStringLiteral("C:\\Phones\\prog") << QStringLiteral("D:\\t") << false << true << false;
}

void TestSettingsDialog::startupFieldsAndReporter()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, txtPath);
    QFETCH(QString, testPath);
    QFETCH(bool, warnings);
    QFETCH(bool, loadOnlyCurrent);
    QFETCH(bool, autoSend);

    Env env(ini);
    env.reporter.setMailSubject(QStringLiteral("x"));
    env.reporter.setMailBody(QStringLiteral("x"));
    env.reporter.setAutoSend(!autoSend);
    env.reporter.setSendButtonVisible(autoSend);
    env.form.LoadSettings();

    QCOMPARE(env.form.txtFilePath(), txtPath);
    QCOMPARE(env.form.edbtnTxtPath->toolTip(), txtPath);
    QCOMPARE(env.form.txtTestFilePath(), testPath);
    QCOMPARE(env.form.showWarnings(), warnings);
    QCOMPARE(env.form.loadOnlyCurrentYear(), loadOnlyCurrent);
    QCOMPARE(env.reporter.mailSubject(), QStringLiteral("bug report - Korvel"));
    QCOMPARE(env.reporter.mailBody(), QStringLiteral("Korvel. Version 2.8; 64bit"));
    QCOMPARE(env.reporter.autoSend(), autoSend);
    QCOMPARE(env.reporter.sendButtonVisible(), !autoSend);
    // Reading the file is not a change.
    QVERIFY(!env.form.SettingsChanged);
    QVERIFY(!env.form.TestFolderChanged);
}

void TestSettingsDialog::showAndApplyTimeOuts_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("portType"); // chosen in the dialog, -1 for none
    QTest::addColumn<QList<int>>("shown");
    QTest::addColumn<QList<int>>("applied");
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<int>("storedPortType");

    QTest::newRow("protokol 150 shows and stores 200")
        << QByteArray("[TimeSett]\r\nTimeOutProtokol=150\r\n") << -1 << QList<int>{200, 300, 300}
        << intervals(200, 300, 300, 300, 300) << QList<int>{200, 300, 300} << 0;
    QTest::newRow("write 800 reaches all three write timers")
        << QByteArray("[TimeSett]\r\nTimeOutWrite=800\r\n") << -1 << QList<int>{300, 300, 800}
        << intervals(300, 300, 300, 800, 800) << QList<int>{300, 300, 800} << 0;
    QTest::newRow("read 1500 shows 999")
        << QByteArray("[TimeSett]\r\nTimeOutRead=1500\r\n") << -1 << QList<int>{300, 999, 300}
        << intervals(300, 999, 999, 300, 300) << QList<int>{300, 999, 300} << 0;
    QTest::newRow("RS232 presets 500")
        << QByteArray() << int(PortTypeRs232) << QList<int>{300, 300, 300} << allIntervals(500)
        << QList<int>{500, 500, 500} << 1;
    QTest::newRow("USB presets 300")
        << QByteArray("[TimeSett]\r\nTimeOutProtokol=500\r\nTimeOutRead=500\r\n"
                      "TimeOutWrite=500\r\naUSBorSerial=1\r\n")
        << int(PortTypeUsb) << QList<int>{500, 500, 500} << allIntervals(300)
        << QList<int>{300, 300, 300} << 0;
    QTest::newRow("unknown port type kept")
        << QByteArray("[TimeSett]\r\naUSBorSerial=7\r\n") << -1 << QList<int>{300, 300, 300}
        << allIntervals(300) << QList<int>{300, 300, 300} << 7;
}

void TestSettingsDialog::showAndApplyTimeOuts()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, portType);
    QFETCH(QList<int>, shown);
    QFETCH(QList<int>, applied);
    QFETCH(QList<int>, stored);
    QFETCH(int, storedPortType);

    Env env(ini);
    env.form.LoadSettings();
    env.form.show();
    QCOMPARE(env.shownTimeOuts(), shown);
    if (portType >= 0) {
        env.form.rgSerial->item(portType)->click();
        QCOMPARE(env.shownTimeOuts(), QList<int>(3, applied.first()));
    }
    env.form.btnApply->click();

    QVERIFY(!env.form.isVisible());
    QCOMPARE(env.intervals(), applied);
    const SettingsValues file = LoadSettingsValues(env.ini);
    QCOMPARE((QList<int>{file.timeOutProtokol, file.timeOutRead, file.timeOutWrite}), stored);
    QCOMPARE(file.usbOrSerial, storedPortType);
}

void TestSettingsDialog::worksWithSomeTimersOnly()
{
    Env env("[TimeSett]\r\nTimeOutProtokol=250\r\nTimeOutRead=450\r\n", QString(),
            {QStringLiteral("TSearchArvo"), QStringLiteral("TWriteParams")});
    env.form.LoadSettings();
    QCOMPARE(env.interval(QStringLiteral("TSearchArvo")), 250);
    QCOMPARE(env.interval(QStringLiteral("TWriteParams")), 300);

    // A missing holding timer shows and saves the value from the file.
    env.form.show();
    QCOMPARE(env.shownTimeOuts(), (QList<int>{250, 450, 300}));
    env.form.spTimeOutWrite->setValue(600);
    env.form.btnApply->click();
    QCOMPARE(env.interval(QStringLiteral("TWriteParams")), 600);
    const SettingsValues file = LoadSettingsValues(env.ini);
    QCOMPARE((QList<int>{file.timeOutProtokol, file.timeOutRead, file.timeOutWrite}),
             (QList<int>{250, 450, 600}));
}

void TestSettingsDialog::controlsAndCaptions()
{
    Env env;
    TForm3 &f = env.form;
    QCOMPARE(f.windowTitle(), QStringLiteral("Settings"));
    QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                 Qt::WindowContextHelpButtonHint)));
    QVERIFY(f.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(f.rgSerial->title(), QStringLiteral("Select port type"));
    QCOMPARE(f.rgSerial->item(0)->text(), QStringLiteral("USB"));
    QCOMPARE(f.rgSerial->item(1)->text(), QStringLiteral("RS232"));
    QCOMPARE(f.gbTimeOut->title(), QStringLiteral("TimeOut"));
    QCOMPARE(f.gbOther->title(), QStringLiteral("Other"));
    for (QWidget *inTimeOut :
         QList<QWidget *>{f.spTimeOutProtokol, f.spTimeOutRead, f.spTimeOutWrite})
        QCOMPARE(inTimeOut->parentWidget(), f.gbTimeOut);
    for (QWidget *inOther :
         QList<QWidget *>{f.edbtnTxtPath, f.edbtnTxtTestPath, f.cbSendBugReport, f.cbShowWarnings})
        QCOMPARE(inOther->parentWidget(), f.gbOther);

    QStringList labels;
    for (const QLabel *label : f.findChildren<QLabel *>())
        labels << label->text();
    for (const char *text :
         {"Protokol TimeOut (Values: 200-999):", "Read TimeOut (Values: 200-999):",
          "Write TimeOut (Values: 200-999):", "Folder path with *.txt files for programming",
          "Folder path with *.txt files for testing",
          "Setting this value down will increase speed of sending protocols, but setting this "
          "value too small will result in communication breakdown.",
          "Setting this value down will increase speed of receiving cards, but setting this "
          "value too small will result in communication breakdown.",
          "Setting this value down will increase speed of writing data to memory of DPX, but "
          "setting this value too small will result in communication breakdown."})
        QVERIFY2(labels.contains(QLatin1String(text)), text);

    QCOMPARE(f.btnRefresh->toolTip(), QStringLiteral("Refresh file list"));
    QCOMPARE(f.btnRefreshTest->toolTip(), QStringLiteral("Refresh file list"));
    QCOMPARE(f.cbLoadCurrYear->text(), QStringLiteral("Load only files from current year"));
    QCOMPARE(f.cbLoadCurrYear->toolTip(), QStringLiteral("speeds up time for loading files"));
    QCOMPARE(f.cbSendBugReport->text(), QStringLiteral("Automatically send bug report"));
    QCOMPARE(f.cbShowWarnings->text(), QStringLiteral("Show warnings"));
    QCOMPARE(f.btnApply->text(), QStringLiteral("Apply settings"));
    QVERIFY(f.btnApply->font().bold());
}

void TestSettingsDialog::timeOutFieldLeft_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");

    QTest::newRow("in range") << QStringLiteral("450") << 450;
    QTest::newRow("upper bound") << QStringLiteral("999") << 999;
    QTest::newRow("below 200") << QStringLiteral("150") << 200;
    QTest::newRow("zero") << QStringLiteral("0") << 200;
    QTest::newRow("empty is not a number") << QString() << 200;
    QTest::newRow("three digits at most") << QStringLiteral("1234") << 200;
}

void TestSettingsDialog::timeOutFieldLeft()
{
    QFETCH(QString, typed);
    QFETCH(int, value);

    Env env;
    env.form.LoadSettings();
    env.form.show();
    TimeOutSpinEdit *spin = env.form.spTimeOutWrite;
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Delete);
    QTest::keyClicks(spin, typed);
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(spin, &leave);
    QCOMPARE(spin->value(), value);
    QCOMPARE(spin->text(), QString::number(value));
}

void TestSettingsDialog::applyQuestions_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("questions");

    const QStringList list{RefreshQuestion};
    QTest::newRow("nothing") << QString() << QStringList();
    QTest::newRow("time-out") << QStringLiteral("time-out") << list;
    QTest::newRow("port type") << QStringLiteral("port type") << list;
    QTest::newRow("folder") << QStringLiteral("folder") << list;
    QTest::newRow("current year") << QStringLiteral("current year") << list;
    QTest::newRow("warnings") << QStringLiteral("warnings") << list;
    QTest::newRow("bug report") << QStringLiteral("bug report") << list;
    QTest::newRow("test folder") << QStringLiteral("test folder")
                                 << QStringList{RefreshTestQuestion};
    QTest::newRow("time-out and test folder") << QStringLiteral("time-out and test folder")
                                              << QStringList{RefreshQuestion, RefreshTestQuestion};
}

void TestSettingsDialog::applyQuestions()
{
    QFETCH(QString, change);
    QFETCH(QStringList, questions);

    Env env(StoredFile);
    env.form.LoadSettings();
    env.form.show();
    makeChange(env, change);
    env.form.btnApply->click(); // every question answered Yes

    QCOMPARE(env.dialogs.shownTexts(), QStringList{SavedMessage} + questions);
    QCOMPARE(env.dialogs.shown.first().kind, Dialogs::Kind::Confirmation);
    QCOMPARE(env.dialogs.shown.first().buttons, Dialogs::Buttons::Ok);
    QStringList refreshes;
    for (int i = 1; i < env.dialogs.shown.size(); ++i) {
        QCOMPARE(env.dialogs.shown.at(i).kind, Dialogs::Kind::Confirmation);
        QCOMPARE(env.dialogs.shown.at(i).buttons, Dialogs::Buttons::YesNo);
        refreshes << (env.dialogs.shown.at(i).text == RefreshQuestion
                          ? QStringLiteral("txt:") + env.form.txtFilePath()
                          : QStringLiteral("test:") + env.form.txtTestFilePath());
    }
    QCOMPARE(env.refreshed, refreshes);
    QVERIFY(!env.form.isVisible());

    // The flags went with the questions: the next showing and closing asks nothing.
    env.dialogs.shown.clear();
    env.form.show();
    env.form.close();
    QCOMPARE(env.dialogs.shownTexts(), QStringList());
}

void TestSettingsDialog::closeQuestion_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<Dialogs::Answer>("answer");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("nothing changed") << QString() << Dialogs::Answer::Ok << QStringList();
    QTest::newRow("folder, OK") << QStringLiteral("folder") << Dialogs::Answer::Ok
                                << QStringList{SaveQuestion, SavedMessage, RefreshQuestion};
    QTest::newRow("test folder, OK")
        << QStringLiteral("test folder") << Dialogs::Answer::Ok
        << QStringList{SaveQuestion, SavedMessage, RefreshTestQuestion};
    QTest::newRow("time-out, Cancel")
        << QStringLiteral("time-out") << Dialogs::Answer::Cancel << QStringList{SaveQuestion};
    QTest::newRow("folder, Cancel")
        << QStringLiteral("folder") << Dialogs::Answer::Cancel << QStringList{SaveQuestion};
}

void TestSettingsDialog::closeQuestion()
{
    QFETCH(QString, change);
    QFETCH(Dialogs::Answer, answer);
    QFETCH(QStringList, texts);

    Env env(StoredFile);
    env.form.LoadSettings();
    env.form.show();
    makeChange(env, change);
    env.dialogs.answers << answer;
    env.form.close();

    QVERIFY(!env.form.isVisible());
    QCOMPARE(env.dialogs.shownTexts(), texts);
    if (!texts.isEmpty()) {
        QCOMPARE(env.dialogs.shown.first().kind, Dialogs::Kind::Confirmation);
        QCOMPARE(env.dialogs.shown.first().buttons, Dialogs::Buttons::OkCancel);
    }
    const bool saved = texts.contains(SavedMessage);
    QCOMPARE(fileBytes(env.ini) != StoredFile, saved);
}

void TestSettingsDialog::cancelKeepsFolderUntilNextShowing()
{
    Env env(StoredFile);
    env.form.LoadSettings();
    env.form.show();
    env.form.edbtnTxtPath->setText(QStringLiteral("D:\\New"));
    env.form.spTimeOutRead->setValue(450);
    env.dialogs.answers << Dialogs::Answer::Cancel;
    env.form.close();

    QCOMPARE(fileBytes(env.ini), StoredFile);
    QCOMPARE(env.interval(QStringLiteral("TReadSerials")), 300);
    // The folder typed is the one in effect, until the next showing reads the file.
    QCOMPARE(env.form.txtFilePath(), QStringLiteral("D:\\New"));
    env.form.btnRefresh->click();
    QCOMPARE(env.refreshed, QStringList{QStringLiteral("txt:D:\\New")});
    env.form.show();
    QCOMPARE(env.form.txtFilePath(), QStringLiteral("C:\\Phones\\prog"));
    QCOMPARE(env.form.spTimeOutRead->value(), 300);
}

void TestSettingsDialog::silentSetters()
{
    Env env;
    env.form.LoadSettings();
    env.form.show();

    TForm3::SetCheckedSilently(env.form.cbSendBugReport, false);
    QVERIFY(!env.form.cbSendBugReport->isChecked());
    QVERIFY(env.reporter.autoSend());
    TForm3::SetItemIndexSilently(env.form.rgSerial, PortTypeRs232);
    QCOMPARE(env.form.rgSerial->itemIndex(), int(PortTypeRs232));
    QCOMPARE(env.shownTimeOuts(), (QList<int>{300, 300, 300}));
    TForm3::SetItemIndexSilently(env.form.rgSerial, -1);
    QCOMPARE(env.form.rgSerial->itemIndex(), -1);
    QVERIFY(!env.form.SettingsChanged);
}

void TestSettingsDialog::folderPicker_data()
{
    QTest::addColumn<bool>("testFolder");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("field");

    const QString chosen = QStringLiteral("/srv/phone lists");
    QTest::newRow("programming, chosen") << false << chosen << QDir::toNativeSeparators(chosen);
    QTest::newRow("test, chosen") << true << chosen << QDir::toNativeSeparators(chosen);
    QTest::newRow("programming, cancelled")
        << false << QString() << QStringLiteral("C:\\Phones\\prog");
    QTest::newRow("test, cancelled") << true << QString() << QStringLiteral("C:\\Phones\\test");
}

void TestSettingsDialog::folderPicker()
{
    QFETCH(bool, testFolder);
    QFETCH(QString, picked);
    QFETCH(QString, field);

    Env env(StoredFile);
    env.form.LoadSettings();
    env.form.show();
    env.dialogs.texts << picked;
    (testFolder ? env.form.edbtnTxtTestPathButton : env.form.edbtnTxtPathButton)->trigger();

    QCOMPARE(env.dialogs.captions, QStringList{QStringLiteral("Select a directory")});
    QLineEdit *edit = testFolder ? env.form.edbtnTxtTestPath : env.form.edbtnTxtPath;
    QCOMPARE(edit->text(), field);
    QCOMPARE(edit->toolTip(), field);
    const bool changed = !picked.isEmpty();
    QCOMPARE(env.form.TestFolderChanged, testFolder && changed);
    QCOMPARE(env.form.SettingsChanged, !testFolder && changed);
}

void TestSettingsDialog::refreshButtons_data()
{
    QTest::addColumn<bool>("testFolder");
    QTest::newRow("programming") << false;
    QTest::newRow("test") << true;
}

void TestSettingsDialog::refreshButtons()
{
    QFETCH(bool, testFolder);

    Env env(StoredFile);
    env.form.LoadSettings();
    env.form.show();
    (testFolder ? env.form.edbtnTxtTestPath : env.form.edbtnTxtPath)
        ->setText(QStringLiteral("E:\\Lists"));
    (testFolder ? env.form.btnRefreshTest : env.form.btnRefresh)->click();

    QCOMPARE(env.refreshed,
             QStringList{(testFolder ? QStringLiteral("test:") : QStringLiteral("txt:")) +
                         QStringLiteral("E:\\Lists")});
    QCOMPARE(fileBytes(env.ini), StoredFile);
    QCOMPARE(env.dialogs.shownTexts(), QStringList());
}

void TestSettingsDialog::bugReportOptionTogglesReporterAtOnce()
{
    Env env;
    env.form.LoadSettings();
    env.form.show();
    QVERIFY(env.form.cbSendBugReport->isChecked());
    QVERIFY(env.reporter.autoSend());

    env.form.cbSendBugReport->click();
    QVERIFY(!env.reporter.autoSend());
    QVERIFY(env.reporter.sendButtonVisible());
    QVERIFY(!QFile::exists(env.ini));

    // Cancel keeps the click's effect, though the next showing puts the
    // stored value back into the box.
    env.dialogs.answers << Dialogs::Answer::Cancel;
    env.form.close();
    QVERIFY(!env.reporter.autoSend());
    env.form.show();
    QVERIFY(env.form.cbSendBugReport->isChecked());
    QVERIFY(!env.reporter.autoSend());

    // Applying saves the box's value, and the reporter follows what was saved.
    env.form.spTimeOutRead->setValue(450);
    env.form.btnApply->click();
    QVERIFY(LoadSettingsValues(env.ini).sendReport);
    QVERIFY(env.reporter.autoSend());
    QVERIFY(!env.reporter.sendButtonVisible());
}

void TestSettingsDialog::unwritableSettingsFile_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("Apply settings") << true;
    QTest::newRow("first exit") << false;
}

void TestSettingsDialog::unwritableSettingsFile()
{
    QFETCH(bool, confirm);

    QTemporaryDir dir;
    const QString notAFolder = dir.filePath(QStringLiteral("file"));
    QVERIFY(putFile(notAFolder, "x"));
    Env env(QByteArray(), notAFolder + QStringLiteral("/") + IniName);
    env.form.LoadSettings();

    if (confirm) {
        env.form.show();
        env.form.spTimeOutRead->setValue(450);
        env.form.btnApply->click();
        QVERIFY(!env.form.isVisible());
        QCOMPARE(env.dialogs.shown.size(), 2);
        QCOMPARE(env.dialogs.shown.first().kind, Dialogs::Kind::Error);
        QVERIFY2(env.dialogs.shown.first().text.startsWith(QLatin1String("Cannot write ")),
                 qPrintable(env.dialogs.shown.first().text));
        QCOMPARE(env.dialogs.shown.at(1).text, RefreshQuestion);
        // The time-outs are in effect all the same.
        QCOMPARE(env.interval(QStringLiteral("TReadParams")), 450);
    } else {
        QVERIFY(!env.form.SaveSettings(false));
        QCOMPARE(env.dialogs.shownTexts(), QStringList());
    }
    QVERIFY2(env.log.lastLine().startsWith(QLatin1String("> Error: Cannot write ")),
             qPrintable(env.log.lastLine()));
    QVERIFY(!QFile::exists(env.ini));
}

void TestSettingsDialog::errorEscapingHandlerReachesReporter_data()
{
    QTest::addColumn<bool>("fromButton"); // otherwise from a timer
    QTest::addColumn<bool>("standard");
    QTest::addColumn<QString>("message");

    const QString text = QStringLiteral("Cannot read C:\\Phones\\prog\\a.txt");
    QTest::newRow("button, std::exception") << true << true << text;
    QTest::newRow("button, other exception")
        << true << false << QStringLiteral("Unknown exception");
    QTest::newRow("timer, std::exception") << false << true << text;
}

void TestSettingsDialog::errorEscapingHandlerReachesReporter()
{
    QFETCH(bool, fromButton);
    QFETCH(bool, standard);
    QFETCH(QString, message);

    Env env;
    env.form.LoadSettings();
    env.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&env.form));
    auto fail = [&]() {
        if (standard)
            throw std::runtime_error(message.toStdString());
        throw 42;
    };
    for (int round = 1; round <= 2; ++round) {
        if (fromButton) {
            env.form.RefreshTxtFileList = fail;
            QTest::mouseClick(env.form.btnRefresh, Qt::LeftButton);
        } else {
            QTimer::singleShot(0, &env.form, fail);
        }
        QTRY_COMPARE(env.reports.size(), round);
        QCOMPARE(env.reports.last().message, message);
        QCOMPARE(env.log.lastLine(), QStringLiteral("> Error: ") + message);
    }

    // The program goes on: the dialog still does its work.
    env.form.RefreshTxtFileList = nullptr;
    env.form.spTimeOutRead->setValue(450);
    QTest::mouseClick(env.form.btnApply, Qt::LeftButton);
    QVERIFY(!env.form.isVisible());
    QCOMPARE(env.interval(QStringLiteral("TReadSerials")), 450);
}

void TestSettingsDialog::reportFileHasLastLogLines()
{
    Env env;
    for (int i = 1; i <= 40; ++i)
        env.log.append(QStringLiteral("> line %1").arg(i));
    env.reporter.report(QStringLiteral("Disk full"));
    env.reporter.report(QStringLiteral("Second"));

    const QString path = env.dir.filePath(QStringLiteral("Korvel.x64.bugreport.txt"));
    QCOMPARE(env.reporter.reportFilePath(), path);
    QCOMPARE(env.reports.first().filePath, path);
    const QStringList lines = QString::fromUtf8(fileBytes(path)).split(QStringLiteral("\r\n"));
    const int first = int(lines.indexOf(QStringLiteral("Error: Disk full")));
    QVERIFY(first > 0);
    QVERIFY(lines.mid(0, first).contains(QStringLiteral("Version: 2.8")));
    const int tail = int(lines.indexOf(QStringLiteral("Last lines of the operation log:"), first));
    QVERIFY(tail > first);
    QStringList expected;
    for (int i = 22; i <= 40; ++i)
        expected << QStringLiteral("> line %1").arg(i);
    expected << QStringLiteral("> Error: Disk full");
    QCOMPARE(lines.mid(tail + 1, 20), expected);
    // A later report is added, not written over the first.
    QVERIFY(lines.contains(QStringLiteral("Error: Second")));
}

void TestSettingsDialog::sending_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("pressSend");
    QTest::addColumn<bool>("mailTaken");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<int>("mails");

    const QByteArray manual("[ReportSett]\r\naSendReport=0\r\n");
    QTest::newRow("automatic") << QByteArray() << false << true << false << 1;
    QTest::newRow("automatic, no mail program") << QByteArray() << false << false << false << 1;
    QTest::newRow("manual, sent") << manual << true << true << true << 1;
    QTest::newRow("manual, closed") << manual << false << true << true << 0;
}

void TestSettingsDialog::sending()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, pressSend);
    QFETCH(bool, mailTaken);
    QFETCH(bool, offered);
    QFETCH(int, mails);

    Env env(ini);
    env.form.LoadSettings();
    env.pressSend = pressSend;
    env.mailTaken = mailTaken;
    env.reporter.report(QStringLiteral("Cannot write C:\\x & y.txt"));

    QCOMPARE(env.offers, QList<bool>{offered});
    QCOMPARE(env.mails.size(), mails);
    if (mails) {
        const QUrl url = env.mails.first();
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                 QStringLiteral("bug report - Korvel"));
        const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
        QVERIFY2(body.startsWith(QLatin1String("Korvel. Version 2.8; 64bit\r\n")),
                 qPrintable(body));
        QVERIFY2(body.contains(QLatin1String("Error: Cannot write C:\\x & y.txt")),
                 qPrintable(body));
    }
    QCOMPARE(env.log.lastLine() == QLatin1String("> Error: No mail program took the bug report"),
             mails && !mailTaken);
}

void TestSettingsDialog::errorWhileReportShows()
{
    Env env;
    int shows = 0;
    env.reporter.setShowReport([&](const CrashReport &, bool) {
        if (++shows == 1)
            env.reporter.report(QStringLiteral("nested"));
        return false;
    });
    env.reporter.report(QStringLiteral("first"));

    QCOMPARE(shows, 1);
    QCOMPARE(env.reporter.reportCount(), 2);
    QVERIFY(env.log.contains(QStringLiteral("> Error: nested")));
    const QString file = QString::fromUtf8(fileBytes(env.reporter.reportFilePath()));
    QVERIFY(file.contains(QLatin1String("Error: first")));
    QVERIFY(file.contains(QLatin1String("Error: nested")));
}

// QTEST_MAIN with the program's own application object, so that errors
// escaping handlers take the program's way to the reporter.
int main(int argc, char *argv[])
{
    KorvelApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestSettingsDialog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsdialog.moc"
