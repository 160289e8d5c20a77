// The replacement step of an update, on a copy of the built program in a
// temporary folder.
#include "platformservices.h"
#include "selfreplace.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace
{

// Programs this test process adopted: with the test as child subreaper, a
// program that a copy starts detached becomes our child once the copy's
// helper process has ended, and stays visible (as a zombie at worst) until
// reaped. So "was it started?" has an exact answer, even for a program
// that ended at once.
QList<qint64> adoptedPrograms(const QString &name, qint64 except = 0)
{
    QList<qint64> pids;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == except)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."; comm is the file name, cut to 15 characters.
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('(');
        const qsizetype close = line.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QByteArray comm = line.mid(open + 1, close - open - 1);
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest.at(1).toLongLong() == self && comm == name.left(15).toUtf8())
            pids.append(pid);
    }
    return pids;
}

void endAndReap(const QList<qint64> &pids)
{
    for (qint64 pid : pids) {
        ::kill(pid_t(pid), SIGKILL);
        ::waitpid(pid_t(pid), nullptr, 0);
    }
}

// Runs the copy and returns its exit code; `output` gets what it printed.
// Without `display` the copy gets no display and no offscreen platform.
int runCopy(const QString &path, QByteArray *output = nullptr, bool display = true)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (display) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
    }
    process.setProcessEnvironment(env);
    process.start(path, {});
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    if (output)
        *output = process.readAll();
    if (!finished)
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

// Fails the first `failures` copies, as while the old program still runs.
class BusyTargetServices : public RecordingPlatformServices
{
public:
    explicit BusyTargetServices(int failures) : m_failures(failures) {}
    bool copyFileOver(const QString &source, const QString &target) override
    {
        RecordingPlatformServices::copyFileOver(source, target);
        return m_failures-- <= 0;
    }

private:
    int m_failures;
};

} // namespace

class TestSelfReplace : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void decision_data();
    void decision();
    void busyTargetTriedAgain_data();
    void busyTargetTriedAgain();
    void copiedOverAndStarted_data();
    void copiedOverAndStarted();
    void unwritableTargetStartsNothing();
    void runningTargetStartsNothing();
    void copyFileOverKeepsOldTargetOnFailure();
};

void TestSelfReplace::initTestCase()
{
    QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
}

void TestSelfReplace::decision_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<bool>("copyOk");
    QTest::addColumn<bool>("replacement");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("normal start") << "/opt/k/Korvel.x64.exe" << true << false << QStringList{};
    QTest::newRow("underscore copy")
        << "/opt/k/_Korvel.x64.exe" << true << true
        << QStringList{"copy /opt/k/_Korvel.x64.exe /opt/k/Korvel.x64.exe",
                       "start /opt/k/Korvel.x64.exe 0"};
    QTest::newRow("any name after the underscore")
        << "/opt/k/_new.exe" << true << true
        << QStringList{"copy /opt/k/_new.exe /opt/k/Korvel.x64.exe",
                       "start /opt/k/Korvel.x64.exe 0"};
    QTest::newRow("failed copy starts nothing")
        << "/opt/k/_Korvel.x64.exe" << false << true
        << QStringList{"copy /opt/k/_Korvel.x64.exe /opt/k/Korvel.x64.exe"};
    QTest::newRow("underscore in the folder only")
        << "/opt/_k/Korvel.x64.exe" << true << false << QStringList{};
}

void TestSelfReplace::decision()
{
    QFETCH(QString, exe);
    QFETCH(bool, copyOk);
    QFETCH(bool, replacement);
    QFETCH(QStringList, calls);
    RecordingPlatformServices services;
    services.copyResult = copyOk;
    QCOMPARE(RunReplacementStep(exe, services), replacement);
    QCOMPARE(services.calls, calls);
}

void TestSelfReplace::busyTargetTriedAgain_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<bool>("started");
    QTest::newRow("free after two tries") << 2 << 5000 << true;
    QTest::newRow("no waiting: one try") << 1 << 0 << false;
    QTest::newRow("still busy after the wait") << 1000000 << 300 << false;
}

void TestSelfReplace::busyTargetTriedAgain()
{
    QFETCH(int, failures);
    QFETCH(int, waitMs);
    QFETCH(bool, started);
    BusyTargetServices services(failures);
    QVERIFY(RunReplacementStep(QStringLiteral("/opt/k/_Korvel.x64.exe"), services, waitMs));
    const QStringList starts = services.calls.filter(QStringLiteral("start "));
    QCOMPARE(starts, started ? QStringList{"start /opt/k/Korvel.x64.exe 0"} : QStringList{});
    if (started)
        QCOMPARE(services.calls.size(), failures + 2);
    else
        QVERIFY(services.calls.size() >= 1 && services.calls.size() < 1000);
}

void TestSelfReplace::copiedOverAndStarted_data()
{
    QTest::addColumn<bool>("display");
    QTest::newRow("offscreen") << true;
    QTest::newRow("no display") << false;
}

void TestSelfReplace::copiedOverAndStarted()
{
    QFETCH(bool, display);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("_Korvel.x64.exe"));
    const QString target = dir.filePath(ProgramFileName);
    QVERIFY(QFile::copy(QStringLiteral(KORVEL_EXE), copy));
    // An older program file is there and gets replaced.
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old program");
    }

    QByteArray output;
    QVERIFY2(runCopy(copy, &output, display) == 0, output.constData());
    QCOMPARE(QFileInfo(target).size(), QFileInfo(QStringLiteral(KORVEL_EXE)).size());
    QVERIFY(QFileInfo(target).isExecutable());

    // Started exactly once (without a display the new program may end at
    // once; it is found all the same).
    const QList<qint64> started = adoptedPrograms(ProgramFileName);
    endAndReap(started);
    QCOMPARE(started.size(), 1);
}

void TestSelfReplace::unwritableTargetStartsNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("_Korvel.x64.exe"));
    QVERIFY(QFile::copy(QStringLiteral(KORVEL_EXE), copy));
    // A folder in the way cannot be overwritten, even by root.
    QVERIFY(QDir(dir.path()).mkdir(ProgramFileName));

    QByteArray output;
    QVERIFY2(runCopy(copy, &output) == 0, output.constData());
    QVERIFY(QFileInfo::exists(copy));
    QVERIFY(QFileInfo(dir.filePath(ProgramFileName)).isDir());
    const QList<qint64> started =
        adoptedPrograms(ProgramFileName) + adoptedPrograms(QStringLiteral("_Korvel.x64.exe"));
    endAndReap(started);
    QVERIFY(started.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"_Korvel.x64.exe"});
}

void TestSelfReplace::runningTargetStartsNothing()
{
    // The old program still runs from the target and so holds it.
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY(!sleep.isEmpty());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("_Korvel.x64.exe"));
    const QString target = dir.filePath(ProgramFileName);
    QVERIFY(QFile::copy(QStringLiteral(KORVEL_EXE), copy));
    QVERIFY(QFile::copy(sleep, target));
    QProcess old;
    old.start(target, {QStringLiteral("60")});
    QVERIFY(old.waitForStarted(10000));

    QByteArray output;
    QVERIFY2(runCopy(copy, &output, false) == 0, output.constData());
    const QList<qint64> started = adoptedPrograms(ProgramFileName, old.processId());
    endAndReap(started);
    old.kill();
    old.waitForFinished(10000);
    QVERIFY(started.isEmpty());
    QCOMPARE(QFileInfo(target).size(), QFileInfo(sleep).size());
    QVERIFY(QFileInfo::exists(copy));
    QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    files.sort();
    QCOMPARE(files, (QStringList{"Korvel.x64.exe", "_Korvel.x64.exe"}));
}

void TestSelfReplace::copyFileOverKeepsOldTargetOnFailure()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("target"));
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    SystemPlatformServices services;
    QVERIFY(!services.copyFileOver(dir.filePath(QStringLiteral("missing")), target));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

QTEST_GUILESS_MAIN(TestSelfReplace)
#include "tst_selfreplace.moc"
