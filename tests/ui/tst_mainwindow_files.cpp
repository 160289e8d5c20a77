#include "dialogs.h"
#include "elapsedtime.h"
#include "filelistview.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "qbxsimulator.h"
#include "settingsdialog.h"
#include "simlink.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

bool writeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// The main window with its settings file pointing at two temporary folders.
struct Window {
    QTemporaryDir dir;
    QString prog = dir.filePath("prog");
    QString test = dir.filePath("test");
    QString ini = dir.filePath("Korvel.x64.ini");
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    sim::SimLink scanPort{simulator, clock};
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm3> form3;

    explicit Window(int lastPort = 7)
    {
        QDir().mkpath(prog);
        QDir().mkpath(test);
        QFile file(ini);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QStringLiteral("[PathSett]\r\naTxtFilePath=%1\r\naTxtTestFilePath=%2\r\n"
                                      "[ProgSett]\r\naLastPortNo=%3\r\n")
                           .arg(prog, test)
                           .arg(lastPort)
                           .toLocal8Bit());
        }
        file.close();
        form = std::make_unique<TForm1>(
            MainWindowServices{log, clock, port, scanPort, dialogs, platform, ini});
        form3 = std::make_unique<TForm3>(SettingsDialogServices{ini, {}, dialogs, log, nullptr},
                                         form.get());
        form->setDialogs(form3.get(), nullptr, nullptr);
        for (auto *link : {&port, &scanPort}) {
            link->setPorts({3, 7}, {3, 7});
            link->setSimulatorPort(7);
        }
    }
    ~Window()
    {
        // Loaders end before the window goes.
        (void)QTest::qWaitFor(
            [this] { return !form->LoadFilesRunning && !form->LoadTestFilesRunning; });
        form3.reset();
        form.reset();
    }
    QPushButton *button(const char *name) { return form->findChild<QPushButton *>(name); }
    int indexOf(const QStringList &lines, const QString &prefix) const
    {
        for (int i = 0; i < lines.size(); ++i) {
            if (lines.at(i).startsWith(prefix))
                return i;
        }
        return -1;
    }
};

} // namespace

class TestMainWindowFiles : public QObject
{
    Q_OBJECT
private slots:
    void startupChainLoadsBothListsThenScans();
    void closeRefusedWhileLoaderRuns();
    void refreshFromMenuAndSettings();
    void listLook();
    void deleteKeyAndDoubleClick();
    void importAndExportThroughWindow();
    void searchBoxModes();
};

void TestMainWindowFiles::startupChainLoadsBothListsThenScans()
{
    Window w;
    QVERIFY(writeFile(w.test + "/t1.txt", "1001\r\n", QDateTime::currentDateTime()));
    w.form->show();
    QTRY_VERIFY(!w.form->StartupChain);
    const QStringList lines = w.log.lines();
    const int progStart = w.indexOf(lines, "> Loading and sorting files [th");
    const int progEnd = w.indexOf(lines, "> Loading completed. [th");
    const int testStart = w.indexOf(lines, "> Loading and sorting test files [th");
    const int testEnd = w.indexOf(lines, "> Loading test files completed. [th");
    const int scan = w.indexOf(lines, "> Searching Interface on COM7...");
    QVERIFY(progStart >= 0);
    QVERIFY(progStart < progEnd);
    QVERIFY(progEnd < testStart);
    QVERIFY(testStart < testEnd);
    QVERIFY(testEnd < scan);
    QVERIFY(!w.form->LoadFilesRunning);
    QVERIFY(!w.form->LoadTestFilesRunning);
    // Only the test list has an entry: Edit, Rename and Delete are enabled.
    QCOMPARE(w.form->ListView1->count(), 0);
    QCOMPARE(w.form->ListView2->count(), 1);
    for (const char *name : {"btnEditTXT", "btnRenameTXT", "btnDeleteTXT"})
        QVERIFY2(w.button(name)->isEnabled(), name);
    QCOMPARE(w.form->TimeElapsed->text(), QStringLiteral("00:00:00"));
}

void TestMainWindowFiles::closeRefusedWhileLoaderRuns()
{
    Window w(0);
    w.form->show();
    QTRY_VERIFY(!w.form->StartupChain);
    w.form->RefreshTxtTestFileList();
    QVERIFY(w.form->LoadTestFilesRunning);
    const quint64 id = w.form->fileLibrary().loaderThreadId(FileListKind::Test);
    QVERIFY(!w.form->close());
    QCOMPARE(w.log.lastLine(), QStringLiteral("> Operation running! [th%1]").arg(id));
    QVERIFY(w.form->isVisible());
    QTRY_VERIFY(!w.form->LoadTestFilesRunning);
    QVERIFY(w.form->close());
}

void TestMainWindowFiles::refreshFromMenuAndSettings()
{
    Window w(0);
    w.form->show();
    QTRY_VERIFY(!w.form->StartupChain);
    auto loads = [&w](const char *prefix) { return w.log.lines().filter(prefix).size(); };

    QVERIFY(writeFile(w.prog + "/p.txt", "1", QDateTime::currentDateTime()));
    w.form->Refreshfilelist1->trigger();
    QTRY_COMPARE(loads("> Loading completed."), 2);
    QCOMPARE(w.form->ListView1->count(), 1);
    w.form->Refreshtestfilelist1->trigger();
    QTRY_COMPARE(loads("> Loading test files completed."), 2);

    // The settings dialog's buttons load the folder now in its field, unsaved.
    w.form3->edbtnTxtTestPath->setText(w.prog);
    w.form3->btnRefreshTest->click();
    QTRY_COMPARE(loads("> Loading test files completed."), 3);
    QCOMPARE(w.form->ListView2->count(), 1);
    w.form3->edbtnTxtPath->setText(w.dir.filePath("nowhere"));
    w.form3->btnRefresh->click();
    QTRY_VERIFY(!w.form->LoadFilesRunning);
    QCOMPARE(w.log.lastLine(), QStringLiteral("> Warning: Folder path to txt files is not set!"));
    QCOMPARE(w.form->ListView1->count(), 0);
}

void TestMainWindowFiles::listLook()
{
    Window w(0);
    FileListView *list = w.form->ListView1;
    QCOMPARE(list->toolTip(), QStringLiteral("Dbl click to edit"));
    QCOMPARE(w.form->ListView2->toolTip(), QStringLiteral("Dbl click to open"));
    QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("File Name"));
    QCOMPARE(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Date"));
    QCOMPARE(list->columnWidth(0), 200);
    // 105 or wider where the font needs it: the date is never cut off.
    QVERIFY(list->columnWidth(1) >= 105);
    QVERIFY(list->columnWidth(1) >
            list->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000. 00:00")));
    list->setColumnWidth(0, 400);
    QCOMPARE(list->columnWidth(0), 250);
    QCOMPARE(list->palette().color(QPalette::Base), QColor(255, 251, 240));
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(w.form->pgAllFiles->tabText(0), QStringLiteral("Files for programming"));
    QCOMPARE(w.form->pgAllFiles->tabText(1), QStringLiteral("Files for testing"));
}

void TestMainWindowFiles::deleteKeyAndDoubleClick()
{
    Window w(0);
    w.form3->cbShowWarnings->setChecked(false);
    QVERIFY(writeFile(w.test + "/a.txt", "1", QDateTime::currentDateTime().addDays(-1)));
    QVERIFY(writeFile(w.test + "/b.txt", "1", QDateTime::currentDateTime()));
    w.form->show();
    QTRY_VERIFY(!w.form->StartupChain);
    w.form->pgAllFiles->setCurrentIndex(1);
    FileListView *list = w.form->ListView2;
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

    // A click selects; a double click opens the file.
    const QRect second = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(list->fileModel().selectedRow(), 1);
    QCOMPARE(w.form->fileLibrary().SearchStartIndex, 1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QVERIFY(!w.platform.calls.isEmpty());
    QVERIFY(w.platform.calls.last().endsWith(QDir::toNativeSeparators(w.test + "/a.txt")));

    // The Delete key deletes the selected file ("Show warnings" is off).
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(!QFileInfo::exists(w.test + "/a.txt"));
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->fileModel().name(0), QStringLiteral("b.txt"));
    // Nothing is selected afterwards: a second Delete deletes nothing.
    QCOMPARE(list->fileModel().selectedRow(), -1);
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(QFileInfo::exists(w.test + "/b.txt"));
    QCOMPARE(w.dialogs.shownTexts().last(),
             QStringLiteral("Please, first select test file in the list!"));
}

void TestMainWindowFiles::importAndExportThroughWindow()
{
    Window w(0);
    QVERIFY(writeFile(w.prog + "/inst.txt", "1001|2001\r\n1002\r\n", QDateTime::currentDateTime()));
    w.form->show();
    QTRY_VERIFY(!w.form->StartupChain);
    DeviceTable &devices = w.form->tables().tblDeviceSerials();
    QVERIFY(devices.appendFoundDevice(4660, 0, 0));
    QVERIFY(SetFieldValue(devices, DeviceTable::SeriesTypeStr, QStringLiteral("Korvel")));
    QVERIFY(SetFieldValue(devices, DeviceTable::DeviceKeyNo, 4));

    w.form->ListView1->fileModel().selectRow(0);
    w.form->btnImportClick();
    PhoneTable &phones = w.form->tables().tblPhoneSerials();
    QCOMPARE(phones.recordCount(), 4);
    QCOMPARE(phones.valueAt(0, PhoneTable::SerialNoRead2).toInt(), 2001);

    w.dialogs.texts = {w.prog + "/back.txt"};
    w.form->btnExportClick();
    QCOMPARE(w.form->ListView1->fileModel().name(0), QStringLiteral("back.txt"));
    QCOMPARE(w.form->ListView1->currentIndex().row(), 0);
    QFile file(w.prog + "/back.txt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("1001|2001\r\n1002\r\n\r\n\r\n"));
}

void TestMainWindowFiles::searchBoxModes()
{
    Window w(0);
    QVERIFY(writeFile(w.prog + "/one.txt", "1001\r\n", QDateTime::currentDateTime().addDays(-1)));
    QVERIFY(writeFile(w.prog + "/two.txt", "1\r\n1001\r\n", QDateTime::currentDateTime()));
    w.form->show();
    QTRY_VERIFY(!w.form->StartupChain);
    QLineEdit *box = w.form->SearchBox1;
    QComboBox *field = w.form->cbSearchField;
    QCOMPARE(field->currentText(), QStringLiteral("File name (*.txt)"));
    QCOMPARE(field->count(), 3);

    box->setText("one");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(w.form->ListView1->currentIndex().row(), 1);

    field->setCurrentIndex(1);
    emit field->activated(1);
    QCOMPARE(box->toolTip(), QStringLiteral("[dd.MM.yyyy.] date format\n[HH:nn] time format"));

    field->setCurrentIndex(2);
    emit field->activated(2);
    QVERIFY(box->toolTip().isEmpty());
    QVERIFY(box->text().isEmpty()); // "one" is no serial
    QTest::keyClicks(box, "10a01");
    QCOMPARE(box->text(), QStringLiteral("1001"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(w.form->ListView1->currentIndex().row(), 0);
    QCOMPARE(w.log.lastLine(), QStringLiteral("> Phone SN: 1001 found in index: 2"));
}

QTEST_MAIN(TestMainWindowFiles)
#include "tst_mainwindow_files.moc"
