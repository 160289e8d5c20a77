#include "filedates.h"
#include "filelibrary.h"
#include "operationlog.h"
#include "platformservices.h"
#include "tablefixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace
{

// The system's codes for a name already taken and a file not found.
#ifdef Q_OS_WIN
constexpr int NameTaken = ERROR_ALREADY_EXISTS;
constexpr int NotFound = ERROR_FILE_NOT_FOUND;
#else
constexpr int NameTaken = EEXIST;
constexpr int NotFound = ENOENT;
#endif

QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Writes a file and sets its last-write time through the file system.
bool writeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    if (!file.open(QIODevice::ReadWrite))
        return false;
    return file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// A library on two temporary folders with scripted dialogs and a fixed clock.
struct Library {
    QTemporaryDir progDir;
    QTemporaryDir testDir;
    QString progFolder = progDir.path();
    QString testFolder = testDir.path();
    bool yearOption = false;
    bool warnings = true;
    QDateTime clock = at("2020-06-01 12:34:56");
    OperationLog log;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    FileLibrary lib{log, dialogs, platform};

    Library()
    {
        lib.programmingFolder = [this] { return progFolder; };
        lib.testFolder = [this] { return testFolder; };
        lib.loadOnlyCurrentYear = [this] { return yearOption; };
        lib.showWarnings = [this] { return warnings; };
        lib.now = [this] { return clock; };
    }
    QString prog(const QString &name) const { return progDir.filePath(name); }
    bool load(FileListKind kind)
    {
        lib.refresh(kind);
        return QTest::qWaitFor([&] { return !lib.isRunning(kind); }, 10000);
    }
    QStringList names(FileListKind kind = FileListKind::Programming)
    {
        QStringList out;
        FileListModel &m = lib.list(kind);
        for (int i = 0; i < m.count(); ++i)
            out << m.name(i);
        return out;
    }
    int selectByName(const QString &name)
    {
        FileListModel &m = lib.list(lib.activeList());
        for (int i = 0; i < m.count(); ++i) {
            if (m.name(i) == name) {
                m.selectRow(i);
                return i;
            }
        }
        return -1;
    }
};

} // namespace

class TestFileLibrary : public QObject
{
    Q_OBJECT
private slots:
    void loadSortsNewestFirst();
    void yearFilter_data();
    void yearFilter();
    void missingFolder_data();
    void missingFolder();
    void secondRefreshWhileLoading();
    void filesGoneDuringLoad_data();
    void filesGoneDuringLoad();
    void emptyFolder();
    void destroyedWhileLoading();
    void fileDateTimeToTwoSeconds();
    void sortKeepsSelectionAndPutsUndatedLast();
    void newFile_data();
    void newFile();
    void refusedNames_data();
    void refusedNames();
    void renameFile_data();
    void renameFile();
    void renameOntoExistingFails();
    void deleteFile_data();
    void deleteFile();
    void editOpensEditorOrDefault();
    void searchSteps_data();
    void searchSteps();
    void clickSetsSearchStart();
    void checkPhoneExists_data();
    void checkPhoneExists();
    void exportJoinsActiveListOnly();
    void exportFailureReported();
    void importSelectedFile();
    void importUnreadableFile();
};

void TestFileLibrary::loadSortsNewestFirst()
{
    Library l;
    QVERIFY(writeFile(l.prog("early.txt"), "1", at("2020-03-05 10:15:20")));
    QVERIFY(writeFile(l.prog("nine.txt"), "1", at("2020-03-05 09:00:00")));
    QVERIFY(writeFile(l.prog("late.TXT"), "1", at("2020-03-05 10:15:58")));
    QVERIFY(writeFile(l.prog("old.txt"), "1", at("2019-12-31 23:59:00")));
    QVERIFY(writeFile(l.prog("notes.doc"), "1", at("2020-03-06 00:00:00")));
    QVERIFY(writeFile(l.prog("list.txt.bak"), "1", at("2020-03-06 00:00:00")));
    QVERIFY(QDir(l.progFolder).mkpath("sub.txt"));
    QVERIFY(writeFile(l.prog("sub.txt/inner.txt"), "1", at("2020-03-06 00:00:00")));
    QSignalSpy maximum(&l.lib, &FileLibrary::progressMaximum);
    QSignalSpy reset(&l.lib, &FileLibrary::progressReset);
    QVERIFY(!l.lib.list(FileListKind::Programming).textNormal());

    QVERIFY(l.load(FileListKind::Programming));
    const QStringList names = l.names();
    QCOMPARE(names.size(), 4);
    // The two 10:15 entries first, in either order.
    QCOMPARE(QSet<QString>(names.begin(), names.begin() + 2),
             (QSet<QString>{"early.txt", "late.TXT"}));
    QCOMPARE(names.mid(2), (QStringList{"nine.txt", "old.txt"}));
    FileListModel &m = l.lib.list(FileListKind::Programming);
    QCOMPARE(m.dateText(2), QStringLiteral("05.03.2020. 09:00"));
    QCOMPARE(m.dateText(3), QStringLiteral("31.12.2019. 23:59"));
    QVERIFY(m.textNormal());
    QCOMPARE(maximum.size(), 1);
    QCOMPARE(maximum.at(0).at(0).toInt(), 4);
    QCOMPARE(reset.size(), 1);

    const quint64 id = l.lib.loaderThreadId(FileListKind::Programming);
    QVERIFY(id != 0);
    QVERIFY(l.log.contains(QStringLiteral("> Loading and sorting files [th%1]...").arg(id)));
    QCOMPARE(l.log.lastLine(), QStringLiteral("> Loading completed. [th%1]").arg(id));
}

void TestFileLibrary::yearFilter_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("programming, option on")
        << true << int(FileListKind::Programming) << QStringList{"future.txt", "newyear.txt"};
    QTest::newRow("programming, option off") << false << int(FileListKind::Programming)
                                             << QStringList{"future.txt", "newyear.txt", "eve.txt"};
    QTest::newRow("test list ignores the option")
        << true << int(FileListKind::Test) << QStringList{"future.txt", "newyear.txt", "eve.txt"};
}

void TestFileLibrary::yearFilter()
{
    QFETCH(bool, option);
    QFETCH(int, kind);
    QFETCH(QStringList, names);
    Library l;
    l.testFolder = l.progFolder;
    l.yearOption = option;
    QVERIFY(writeFile(l.prog("eve.txt"), "1", at("2019-12-31 23:59:59")));
    QVERIFY(writeFile(l.prog("newyear.txt"), "1", at("2020-01-01 00:00:00")));
    QVERIFY(writeFile(l.prog("future.txt"), "1", at("2021-02-01 08:00:00")));
    QVERIFY(l.load(FileListKind(kind)));
    QCOMPARE(l.names(FileListKind(kind)), names);
}

void TestFileLibrary::missingFolder_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("unset");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("editMessage");
    const QString prog = "> Warning: Folder path to txt files is not set!";
    const QString test = "> Warning: Folder path to txt test files is not set!";
    QTest::newRow("programming, unset") << int(FileListKind::Programming) << true << prog
                                        << "Folder path to *.txt files is not set!";
    QTest::newRow("programming, gone") << int(FileListKind::Programming) << false << prog
                                       << "Folder path to *.txt files is not set!";
    QTest::newRow("test, unset") << int(FileListKind::Test) << true << test
                                 << "Folder path to *.txt test files is not set!";
    QTest::newRow("test, gone") << int(FileListKind::Test) << false << test
                                << "Folder path to *.txt test files is not set!";
}

void TestFileLibrary::missingFolder()
{
    QFETCH(int, kind);
    QFETCH(bool, unset);
    QFETCH(QString, warning);
    QFETCH(QString, editMessage);
    Library l;
    const QString folder = unset ? QString() : l.prog("no such folder");
    l.progFolder = l.testFolder = folder;
    QVERIFY(l.load(FileListKind(kind)));
    QCOMPARE(l.log.lines(), QStringList{warning});
    QCOMPARE(l.lib.list(FileListKind(kind)).count(), 0);

    l.lib.setActiveList(FileListKind(kind));
    l.lib.btnEditTXTClick();
    QCOMPARE(l.dialogs.shownTexts(), QStringList{editMessage});
    QVERIFY(l.platform.calls.isEmpty());
}

void TestFileLibrary::secondRefreshWhileLoading()
{
    Library l;
    QVERIFY(writeFile(l.prog("a.txt"), "1", at("2020-03-05 10:15:00")));
    l.lib.refresh(FileListKind::Programming);
    const quint64 id = l.lib.loaderThreadId(FileListKind::Programming);
    // The end handler runs on this thread, so the first load is still running.
    l.lib.refresh(FileListKind::Programming);
    QCOMPARE(l.log.lastLine(), QStringLiteral("> Loading... [th%1]").arg(id));
    QTRY_VERIFY(!l.lib.isRunning(FileListKind::Programming));
    QCOMPARE(l.log.lines().filter("> Loading completed.").size(), 1);
    QCOMPARE(l.names(), QStringList{"a.txt"});
}

void TestFileLibrary::filesGoneDuringLoad_data()
{
    QTest::addColumn<bool>("wholeFolder");
    QTest::newRow("one file deleted") << false;
    QTest::newRow("folder removed") << true;
}

void TestFileLibrary::filesGoneDuringLoad()
{
    QFETCH(bool, wholeFolder);
    Library l;
    QVERIFY(writeFile(l.prog("a.txt"), "1", at("2020-03-05 10:15:00")));
    QVERIFY(writeFile(l.prog("b.txt"), "1", at("2020-03-04 10:15:00")));
    l.lib.afterListing = [&] {
        if (wholeFolder)
            QDir(l.progFolder).removeRecursively();
        else
            QFile::remove(l.prog("a.txt"));
    };
    QVERIFY(l.load(FileListKind::Programming));
    FileListModel &m = l.lib.list(FileListKind::Programming);
    // Listed files keep their entries; those gone have no date and come last.
    QCOMPARE(m.count(), 2);
    if (wholeFolder) {
        QCOMPARE(QStringList({m.dateText(0), m.dateText(1)}), QStringList({"", ""}));
    } else {
        QCOMPARE(m.name(1), QStringLiteral("a.txt"));
        QCOMPARE(m.dateText(1), QString());
        QCOMPARE(m.dateText(0), QStringLiteral("04.03.2020. 10:15"));
    }
    // The completion line only while the folder exists.
    QCOMPARE(l.log.lastLine().startsWith("> Loading completed. [th"), !wholeFolder);
}

void TestFileLibrary::destroyedWhileLoading()
{
    QTemporaryDir dir;
    for (int i = 0; i < 3000; ++i) {
        QFile f(dir.filePath(QStringLiteral("f%1.txt").arg(i)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    OperationLog log;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    auto lib = std::make_unique<FileLibrary>(log, dialogs, platform);
    const QString folder = dir.path();
    lib->programmingFolder = [folder] { return folder; };
    // Hold the worker between listing and dating, then let it run into a
    // hand-over that nobody will take.
    QSemaphore listed;
    lib->afterListing = [&listed] { listed.release(); };
    lib->refresh(FileListKind::Programming);
    // The worker's first hand-over needs this thread's event loop.
    QVERIFY(QTest::qWaitFor([&listed] { return listed.available() > 0; }, 10000));
    lib.reset(); // waits for the worker; must neither hang nor crash
    QCoreApplication::processEvents();
    QVERIFY(log.lines().size() <= 1);
}

void TestFileLibrary::emptyFolder()
{
    Library l;
    QVERIFY(writeFile(l.prog("readme.md"), "1", at("2020-03-05 10:15:00")));
    QSignalSpy maximum(&l.lib, &FileLibrary::progressMaximum);
    QVERIFY(l.load(FileListKind::Programming));
    QCOMPARE(l.lib.list(FileListKind::Programming).count(), 0);
    QCOMPARE(maximum.size(), 1);
    QCOMPARE(maximum.at(0).at(0).toInt(), 0);
    QVERIFY(l.log.lastLine().startsWith("> Loading completed. [th"));
}

void TestFileLibrary::fileDateTimeToTwoSeconds()
{
    Library l;
    QVERIFY(writeFile(l.prog("odd.txt"), "1", at("2020-03-05 10:15:37")));
    QCOMPARE(GetFileDateTime(l.prog("odd.txt")), at("2020-03-05 10:15:36"));
    QVERIFY(writeFile(l.prog("even.txt"), "1", at("2020-03-05 10:15:38")));
    QCOMPARE(GetFileDateTime(l.prog("even.txt")), at("2020-03-05 10:15:38"));
    QVERIFY(!GetFileDateTime(l.prog("missing.txt")).isValid());
}

void TestFileLibrary::sortKeepsSelectionAndPutsUndatedLast()
{
    FileListModel m;
    auto entry = [](const char *name, const QString &date) {
        return FileEntry{name, date, FileDateSortKey(date)};
    };
    // "gone" lost its file between listing and dating: no date text.
    m.append({entry("gone", QString()), entry("old", "31.12.2019. 23:59"),
              entry("new", "01.01.2020. 00:00"), entry("mid", "31.12.2019. 23:59")});
    m.selectRow(3);
    m.sortNewestFirst();
    QCOMPARE(m.name(0), QStringLiteral("new"));
    QCOMPARE(m.name(3), QStringLiteral("gone"));
    QCOMPARE(m.name(m.selectedRow()), QStringLiteral("mid"));
    // Read back to the minute: the day, month and year order counts.
    QVERIFY(FileDateSortKey("01.02.2020. 00:00") > FileDateSortKey("02.01.2020. 00:00"));
    QCOMPARE(FileDateSortKey("32.01.2020. 00:00"), -1);
}

void TestFileLibrary::newFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("created");
    QTest::newRow("no extension") << "abc"
                                  << "abc.txt";
    QTest::newRow("other extension kept") << "abc.b"
                                          << "abc.b.txt";
    QTest::newRow("doc kept") << "xyz.doc"
                              << "xyz.doc.txt";
    QTest::newRow("txt") << "abc.txt"
                         << "abc.txt";
    QTest::newRow("upper-case TXT is not .txt") << "abc.TXT"
                                                << "abc.TXT.txt";
}

void TestFileLibrary::newFile()
{
    QFETCH(QString, typed);
    QFETCH(QString, created);
    Library l;
    QVERIFY(writeFile(l.prog("old.txt"), "1", at("2019-03-05 10:15:00")));
    QVERIFY(l.load(FileListKind::Programming));
    QSignalSpy buttons(&l.lib, &FileLibrary::buttonStatesNeeded);
    l.dialogs.texts = {typed};
    l.lib.btnNewTXTClick();
    QCOMPARE(l.dialogs.captions, QStringList{"File Name"});
    QFileInfo info(l.prog(created));
    QVERIFY(info.exists());
    QCOMPARE(info.size(), 0);
    FileListModel &m = l.lib.list(FileListKind::Programming);
    QCOMPARE(l.names(), (QStringList{created, "old.txt"}));
    QCOMPARE(m.dateText(0), QStringLiteral("01.06.2020. 12:34"));
    QCOMPARE(m.selectedRow(), 0);
    QVERIFY(l.platform.calls.isEmpty()); // the editor is not opened
    QCOMPARE(buttons.size(), 0);         // not the first entry

    // The same name again.
    l.dialogs.texts = {typed};
    l.lib.btnNewTXTClick();
    QCOMPARE(l.dialogs.shownTexts(), QStringList{"> Error: File already exists!"});
    QCOMPARE(m.count(), 2);
}

void TestFileLibrary::refusedNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("parent folder") << "../x"
                                   << "folder";
    QTest::newRow("slash") << "a/b"
                           << "folder";
    QTest::newRow("backslash") << "a\\b"
                               << "folder";
    QTest::newRow("dots") << "a..b"
                          << "\"..\"";
    QTest::newRow("device with colon") << "con:"
                                       << "\":\"";
    QTest::newRow("device name") << "Con"
                                 << "device";
    QTest::newRow("device with extension") << "lpt1.txt"
                                           << "device";
    QTest::newRow("question mark") << "x?y"
                                   << "\"?\"";
    QTest::newRow("control character") << "a\tb"
                                       << "\\x09";
    QTest::newRow("blank") << "  "
                           << "empty";
}

void TestFileLibrary::refusedNames()
{
    QFETCH(QString, typed);
    QFETCH(QString, reason);
    Library l;
    QVERIFY(writeFile(l.prog("keep.txt"), "1", at("2019-03-05 10:15:00")));
    QVERIFY(l.load(FileListKind::Programming));
    const QStringList before =
        QDir(l.progFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    l.dialogs.texts = {typed};
    l.lib.btnNewTXTClick();
    l.selectByName("keep.txt");
    l.dialogs.texts = {typed};
    l.lib.btnRenameTXTClick();

    const QStringList shown = l.dialogs.shownTexts();
    QCOMPARE(shown.size(), 2);
    for (const QString &text : shown) {
        QVERIFY2(text.startsWith("File name not allowed: " + typed), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
    }
    QCOMPARE(QDir(l.progFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QVERIFY(!QFileInfo::exists(QDir(l.progFolder).filePath("../x.txt")));
    QCOMPARE(l.names(), QStringList{"keep.txt"});
}

void TestFileLibrary::renameFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("renamed");
    QTest::newRow("other extension replaced") << "xyz.doc"
                                              << "xyz.txt";
    QTest::newRow("no extension") << "abc"
                                  << "abc.txt";
    QTest::newRow("upper-case TXT") << "abc.TXT"
                                    << "abc.txt";
    QTest::newRow("last extension only") << "a.b.c"
                                         << "a.b.txt";
}

void TestFileLibrary::renameFile()
{
    QFETCH(QString, typed);
    QFETCH(QString, renamed);
    Library l;
    QVERIFY(writeFile(l.prog("old.txt"), "1001\r\n", at("2019-03-05 10:15:00")));
    QVERIFY(writeFile(l.prog("new.txt"), "1", at("2020-03-05 10:15:00")));
    QVERIFY(l.load(FileListKind::Programming));
    QCOMPARE(l.selectByName("old.txt"), 1);
    l.dialogs.texts = {typed};
    l.lib.btnRenameTXTClick();
    QVERIFY(!QFileInfo::exists(l.prog("old.txt")));
    QFile file(l.prog(renamed));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("1001\r\n"));
    QCOMPARE(l.names(), (QStringList{"new.txt", renamed}));
    QCOMPARE(l.lib.list(FileListKind::Programming).dateText(1),
             QStringLiteral("05.03.2019. 10:15"));
}

void TestFileLibrary::renameOntoExistingFails()
{
    Library l;
    QVERIFY(writeFile(l.prog("a.txt"), "A", at("2019-03-05 10:15:00")));
    QVERIFY(writeFile(l.prog("b.txt"), "B", at("2020-03-05 10:15:00")));
    QVERIFY(l.load(FileListKind::Programming));
    l.selectByName("a.txt");
    l.dialogs.texts = {"b"};
    l.lib.btnRenameTXTClick();
    QCOMPARE(l.log.lastLine(), QStringLiteral("> Can not rename file! Error: %1").arg(NameTaken));
    QCOMPARE(l.names(), (QStringList{"b.txt", "a.txt"}));
    QFile b(l.prog("b.txt"));
    QVERIFY(b.open(QIODevice::ReadOnly));
    QCOMPARE(b.readAll(), QByteArray("B"));
    QVERIFY(QFileInfo::exists(l.prog("a.txt")));

    // Nothing selected: the list message, nothing asked.
    l.lib.list(FileListKind::Programming).selectRow(-1);
    l.dialogs.shown.clear();
    l.lib.btnRenameTXTClick();
    QCOMPARE(l.dialogs.shownTexts(), QStringList{"Please, first select file in the list!"});
}

void TestFileLibrary::deleteFile_data()
{
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<int>("questions");
    QTest::newRow("warnings on, OK") << true << int(Dialogs::Answer::Ok) << true << 1;
    QTest::newRow("warnings on, Cancel") << true << int(Dialogs::Answer::Cancel) << false << 1;
    QTest::newRow("warnings off: no question")
        << false << int(Dialogs::Answer::Cancel) << true << 0;
}

void TestFileLibrary::deleteFile()
{
    QFETCH(bool, warnings);
    QFETCH(int, answer);
    QFETCH(bool, deleted);
    QFETCH(int, questions);
    Library l;
    l.warnings = warnings;
    QVERIFY(writeFile(l.prog("a.txt"), "A", at("2019-03-05 10:15:00")));
    QVERIFY(writeFile(l.prog("b.txt"), "B", at("2020-03-05 10:15:00")));
    QVERIFY(l.load(FileListKind::Programming));
    l.selectByName("a.txt");
    l.dialogs.answers = {Dialogs::Answer(answer)};
    l.lib.btnDeleteTXTClick();
    QCOMPARE(l.dialogs.shown.size(), questions);
    if (questions) {
        QCOMPARE(l.dialogs.shown.at(0).text, QStringLiteral("Delete file: a.txt ?"));
        QCOMPARE(l.dialogs.shown.at(0).kind, Dialogs::Kind::Warning);
        QCOMPARE(l.dialogs.shown.at(0).buttons, Dialogs::Buttons::OkCancel);
    }
    QCOMPARE(QFileInfo::exists(l.prog("a.txt")), !deleted);
    const QStringList left = deleted ? QStringList{"b.txt"} : QStringList{"b.txt", "a.txt"};
    QCOMPARE(l.names(), left);

    // A file already gone: the system's code, the entry stays.
    l.warnings = false;
    l.selectByName("b.txt");
    QVERIFY(QFile::remove(l.prog("b.txt")));
    l.lib.btnDeleteTXTClick();
    QCOMPARE(l.log.lastLine(), QStringLiteral("> Can not delete file! Error: %1").arg(NotFound));
    QVERIFY(l.names().contains("b.txt"));
}

void TestFileLibrary::editOpensEditorOrDefault()
{
    Library l;
    QVERIFY(writeFile(l.prog("my list.txt"), "1", at("2019-03-05 10:15:00")));
    QVERIFY(l.load(FileListKind::Programming));
    l.selectByName("my list.txt");
    const QByteArray oldPath = qgetenv("PATH");

    // No editor on the search path: the system's default action.
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toLocal8Bit());
    l.lib.btnEditTXTClick();
    QCOMPARE(l.platform.calls, QStringList{"open " + l.prog("my list.txt")});

    // An editor called notepad++ is started with the path as its one parameter.
    const QString editor = bin.filePath("notepad++");
    QVERIFY(writeFile(editor, "#!/bin/sh\n", QDateTime::currentDateTime()));
    QVERIFY(QFile::setPermissions(editor, QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner));
    l.platform.calls.clear();
    l.lib.btnEditTXTClick();
    qputenv("PATH", oldPath);
    QCOMPARE(l.platform.calls, QStringList{"start " + editor + " 0 " + l.prog("my list.txt")});
}

void TestFileLibrary::searchSteps_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<int>>("found"); // per press: the row selected, -1 for none
    QTest::addColumn<QStringList>("logLines");
    // Entries, newest first: 0 alpha, 1 beta, 2 gamma, 3 Alpine.
    QTest::newRow("name, any case, wraps")
        << int(SearchField::FileName) << "AL" << QList<int>{0, 3, -1, 0} << QStringList{};
    QTest::newRow("date by day") << int(SearchField::DateTime) << "05.03."
                                 << QList<int>{0, 1, -1, 0} << QStringList{};
    QTest::newRow("date by time") << int(SearchField::DateTime) << "09:00" << QList<int>{2, -1, 2}
                                  << QStringList{};
    QTest::newRow("phone SN") << int(SearchField::PhoneSN) << "1002" << QList<int>{1, 2, -1, 1}
                              << QStringList{"> Phone SN: 1002 found in index: 2",
                                             "> Phone SN: 1002 found in index: 3",
                                             "> Phone SN: 1002 found in index: 2"};
    QTest::newRow("empty query matches nothing")
        << int(SearchField::FileName) << "" << QList<int>{-1, -1} << QStringList{};
    QTest::newRow("no match") << int(SearchField::FileName) << "zeta" << QList<int>{-1, -1}
                              << QStringList{};
}

void TestFileLibrary::searchSteps()
{
    QFETCH(int, field);
    QFETCH(QString, query);
    QFETCH(QList<int>, found);
    QFETCH(QStringList, logLines);
    Library l;
    QVERIFY(writeFile(l.prog("alpha.txt"), "1001\r\n", at("2019-03-05 14:07:00")));
    QVERIFY(writeFile(l.prog("beta.txt"), "1000\r\n1001|1002\r\n", at("2019-03-05 10:00:00")));
    QVERIFY(writeFile(l.prog("gamma.txt"), "5\n6\r21002\r\n", at("2019-03-04 09:00:00")));
    QVERIFY(writeFile(l.prog("Alpine.txt"), "", at("2019-01-01 08:00:00")));
    QVERIFY(l.load(FileListKind::Programming));
    QCOMPARE(l.names(), (QStringList{"alpha.txt", "beta.txt", "gamma.txt", "Alpine.txt"}));
    const int before = l.log.count();

    l.lib.cbSearchFieldSelect(SearchField(field));
    FileListModel &m = l.lib.list(FileListKind::Programming);
    int selected = -1;
    for (int press = 0; press < found.size(); ++press) {
        const bool hit = l.lib.SearchBox1InvokeSearch(query);
        QCOMPARE(hit, found.at(press) >= 0);
        if (hit)
            selected = found.at(press);
        // A press that finds nothing leaves the selection alone.
        QCOMPARE(m.selectedRow(), selected);
    }
    QCOMPARE(l.log.lines().mid(before), logLines);
}

void TestFileLibrary::clickSetsSearchStart()
{
    Library l;
    for (const char *name : {"a1.txt", "a2.txt", "a3.txt"})
        QVERIFY(writeFile(l.prog(name), "", at("2019-01-01 08:00:00")));
    QVERIFY(l.load(FileListKind::Programming));
    const QStringList names = l.names();
    l.lib.listClicked(2);
    QVERIFY(l.lib.SearchBox1InvokeSearch("a"));
    QCOMPARE(l.lib.list(FileListKind::Programming).selectedRow(), 2);
    l.lib.listClicked(-1);
    QCOMPARE(l.lib.SearchStartIndex, 0);
    // Choosing a field starts over too.
    QVERIFY(l.lib.SearchBox1InvokeSearch("a"));
    QVERIFY(l.lib.SearchBox1InvokeSearch("a"));
    l.lib.cbSearchFieldSelect(SearchField::FileName);
    QCOMPARE(l.lib.SearchStartIndex, 0);
}

void TestFileLibrary::checkPhoneExists_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("index"); // 0: not found
    QTest::newRow("second line") << QByteArray("1001\r\n1001|1002\r\n") << "1002" << 2;
    QTest::newRow("substring of a longer serial") << QByteArray("21005\r\n100\r\n") << "100" << 1;
    QTest::newRow("CR and LF line ends") << QByteArray("1\r2\n\r\n4|1002") << "1002" << 4;
    QTest::newRow("UTF-16 file") << QByteArray("\xFF\xFE"
                                               "1\0\r\0\n\0"
                                               "7\0"
                                               "7\0",
                                               12)
                                 << "77" << 2;
    QTest::newRow("UTF-8 file") << QByteArray("\xEF\xBB\xBF"
                                              "5\r\n6\r\n77")
                                << "77" << 3;
    QTest::newRow("absent") << QByteArray("1001\r\n") << "1002" << 0;
}

void TestFileLibrary::checkPhoneExists()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, query);
    QFETCH(int, index);
    Library l;
    QVERIFY(writeFile(l.prog("f.txt"), content, at("2019-01-01 08:00:00")));
    QCOMPARE(l.lib.checkPhoneExists(l.prog("f.txt"), query), index > 0);
    const QStringList expected =
        index > 0
            ? QStringList{QStringLiteral("> Phone SN: %1 found in index: %2").arg(query).arg(index)}
            : QStringList{};
    QCOMPARE(l.log.lines(), expected);
    // A file that cannot be read does not match.
    QVERIFY(!l.lib.checkPhoneExists(l.prog("gone.txt"), query));
}

void TestFileLibrary::exportJoinsActiveListOnly()
{
    Library l;
    QVERIFY(writeFile(l.prog("same.txt"), "1", at("2019-01-01 08:00:00")));
    QVERIFY(l.load(FileListKind::Programming));
    TablesFixture t;
    QVERIFY(t.addPhones(2));

    // Into the active tab's folder: at the top, even with the name listed.
    l.dialogs.texts = {l.prog("same.txt")};
    l.lib.btnExportClick(t.phones());
    QCOMPARE(l.dialogs.captions, QStringList{"Save TXT File"});
    QCOMPARE(l.dialogs.lastSave,
             (QStringList{l.progFolder, "", "TXT File (*.txt);;All Files (*.*)", "txt"}));
    QCOMPARE(l.names(), (QStringList{"same.txt", "same.txt"}));
    QCOMPARE(l.lib.list(FileListKind::Programming).dateText(0),
             QStringLiteral("01.06.2020. 12:34"));
    QFile file(l.prog("same.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("501\r\n502\r\n"));

    // Into the other tab's folder, or anywhere else: no list changes.
    l.dialogs.texts = {QDir(l.testFolder).filePath("other.txt")};
    l.lib.btnExportClick(t.phones());
    QCOMPARE(l.dialogs.lastSave.at(1), QStringLiteral("same.txt")); // the last name again
    QVERIFY(QFileInfo::exists(QDir(l.testFolder).filePath("other.txt")));
    QCOMPARE(l.names(), (QStringList{"same.txt", "same.txt"}));
    QCOMPARE(l.lib.list(FileListKind::Test).count(), 0);

    // The test tab exports into its own folder.
    l.lib.setActiveList(FileListKind::Test);
    l.dialogs.texts = {QDir(l.testFolder).filePath("t.txt")};
    l.lib.btnExportClick(t.phones());
    QCOMPARE(l.dialogs.lastSave.at(0), l.testFolder);
    QCOMPARE(l.names(FileListKind::Test), QStringList{"t.txt"});
    QVERIFY(l.lib.list(FileListKind::Test).textNormal());

    // Cancel: nothing.
    const int lines = l.log.count();
    l.lib.btnExportClick(t.phones());
    QCOMPARE(l.log.count(), lines);
}

void TestFileLibrary::exportFailureReported()
{
    Library l;
    QVERIFY(l.load(FileListKind::Programming));
    TablesFixture t;
    QVERIFY(t.addPhones(3));
    QVERIFY(t.phones().setCurrentPosition(1));
    const QString target = l.prog("gone/x.txt");
    l.dialogs.texts = {target};
    l.lib.btnExportClick(t.phones());
    QVERIFY2(l.log.lastLine().startsWith("> Error: Can not write file \"" + target + "\": "),
             qPrintable(l.log.lastLine()));
    QCOMPARE(l.dialogs.shown.size(), 1);
    QCOMPARE(l.dialogs.shown.at(0).kind, Dialogs::Kind::Error);
    QCOMPARE("> Error: " + l.dialogs.shown.at(0).text, l.log.lastLine());
    QCOMPARE(t.phones().currentPosition(), 1);
    QCOMPARE(l.lib.list(FileListKind::Programming).count(), 0);

    // A read-only folder (only meaningful without root's rights).
#ifndef Q_OS_WIN
    if (geteuid() != 0) {
        QVERIFY(QFile::setPermissions(l.progFolder, QFile::ReadOwner | QFile::ExeOwner));
        l.dialogs.texts = {l.prog("ro.txt"), "new"};
        l.lib.btnExportClick(t.phones());
        l.lib.btnNewTXTClick();
        QCOMPARE(l.log.lines().filter("> Error: ").size(), 3);
        QCOMPARE(l.lib.list(FileListKind::Programming).count(), 0);
        QFile::setPermissions(l.progFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
#endif
}

void TestFileLibrary::importSelectedFile()
{
    Library l;
    QVERIFY(writeFile(l.prog("inst.txt"), "1001|2001\r\nabc|2002\r\n", at("2019-01-01 08:00:00")));
    QVERIFY(l.load(FileListKind::Programming));
    TablesFixture t;
    QVERIFY(t.addDevices("M0:4"));
    QSignalSpy buttons(&l.lib, &FileLibrary::buttonStatesNeeded);

    // Nothing selected: the list message, the table untouched.
    l.lib.btnImportClick(t.tables);
    QCOMPARE(l.dialogs.shownTexts(), QStringList{"Please, first select file in the list!"});
    QCOMPARE(t.phones().recordCount(), 0);

    l.selectByName("inst.txt");
    l.lib.btnImportClick(t.tables);
    QCOMPARE(t.phones().recordCount(), 4);
    QCOMPARE(t.phones().valueAt(1, PhoneTable::SerialNoRead1), QVariant());
    QCOMPARE(t.phones().valueAt(1, PhoneTable::SerialNoRead2).toInt(), 2002);
    QCOMPARE(l.log.lines().mid(l.log.count() - 2),
             (QStringList{"> Imported: inst.txt (4 buttons)",
                          "> Warning: 1 field(s) are not phone serials and were left empty "
                          "(first in line 2)"}));
    QCOMPARE(buttons.size(), 1);
}

void TestFileLibrary::importUnreadableFile()
{
    Library l;
    QVERIFY(writeFile(l.prog("gone.txt"), "1", at("2019-01-01 08:00:00")));
    QVERIFY(l.load(FileListKind::Programming));
    TablesFixture t;
    QVERIFY(t.addDevices("M0:4"));
    QVERIFY(t.addPhones(4));
    QVERIFY(QFile::remove(l.prog("gone.txt")));
    l.selectByName("gone.txt");
    QSignalSpy buttons(&l.lib, &FileLibrary::buttonStatesNeeded);
    l.lib.btnImportClick(t.tables);
    QVERIFY2(
        l.log.lastLine().startsWith("> Error: Can not read file \"" + l.prog("gone.txt") + "\": "),
        qPrintable(l.log.lastLine()));
    QCOMPARE(l.dialogs.shown.size(), 1);
    QVERIFY(l.dialogs.shown.at(0).text.contains(l.prog("gone.txt")));
    QCOMPARE(t.phones().recordCount(), 4);
    QCOMPARE(t.phones().valueAt(3, PhoneTable::SerialNoRead1).toInt(), 504);
    QCOMPARE(l.names(), QStringList{"gone.txt"});
    QCOMPARE(buttons.size(), 1); // button states refreshed in any case
}

QTEST_GUILESS_MAIN(TestFileLibrary)
#include "tst_filelibrary.moc"
