// The replacement step of an update, on a copy of the built program in a
// temporary folder.
#include "platformservices.h"
#include "selfreplace.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// Process IDs of programs running from `path`.
QList<qint64> processesRunning(const QString &path)
{
    QList<qint64> pids;
    const QString wanted = QFileInfo(path).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry));
        if (!wanted.isEmpty() && exe == wanted)
            pids.append(pid);
    }
    return pids;
}

// Runs the copy and returns its exit code; `output` gets what it printed.
int runCopy(const QString &path, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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

} // namespace

class TestSelfReplace : public QObject
{
    Q_OBJECT
private slots:
    void decision_data();
    void decision();
    void copiedOverAndStarted();
    void unwritableTargetStartsNothing();
    void copyFileOverKeepsOldTargetOnFailure();
};

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
        << QStringList{"copy /opt/k/_new.exe /opt/k/Korvel.x64.exe", "start /opt/k/Korvel.x64.exe 0"};
    QTest::newRow("failed copy starts nothing")
        << "/opt/k/_Korvel.x64.exe" << false << true
        << QStringList{"copy /opt/k/_Korvel.x64.exe /opt/k/Korvel.x64.exe"};
    QTest::newRow("underscore in the folder only") << "/opt/_k/Korvel.x64.exe" << true << false
                                                   << QStringList{};
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

void TestSelfReplace::copiedOverAndStarted()
{
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
    QVERIFY2(runCopy(copy, &output) == 0, output.constData());
    QCOMPARE(QFileInfo(target).size(), QFileInfo(QStringLiteral(KORVEL_EXE)).size());
    QVERIFY(QFileInfo(target).isExecutable());

    // On a loaded machine the started program may take a while to show up.
    QList<qint64> started;
    QTRY_VERIFY_WITH_TIMEOUT(!(started = processesRunning(target)).isEmpty(), 30000);
    for (qint64 pid : started)
        ::kill(pid_t(pid), SIGKILL);
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
    QTest::qWait(500);
    QVERIFY(processesRunning(copy).isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"_Korvel.x64.exe"});
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
