// korvel-cli against the qbxsim program over a pseudo-terminal: output and
// exit code of each subcommand on the demo installation, a written list read
// back byte for byte, a verify mismatch, refusals before anything is
// written, and no box or door station.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/types.h>

namespace
{

// The qbxsim program on its own pseudo-terminal, as COM7.
class Simulator
{
public:
    ~Simulator()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool start(const QStringList &args)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral(QBXSIM), QStringList{"--com", "7"} + args);
        if (!m_process.waitForStarted())
            return false;
        while (m_device.isEmpty() && m_process.waitForReadyRead(10000)) {
            while (m_process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
                if (line.startsWith(QLatin1String("export KORVEL_COM7=")))
                    m_device = line.section(QLatin1Char('='), 1);
            }
        }
        return !m_device.isEmpty();
    }

    // A command on the simulator's standard input, answered before it returns.
    void command(const QByteArray &line)
    {
        m_process.readAll();
        m_process.write(line + "\n");
        m_process.waitForReadyRead(5000);
    }

    const QString &device() const { return m_device; }

private:
    QProcess m_process;
    QString m_device;
};

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QString err;
    QStringList log;

    bool logHas(const QString &part) const
    {
        return std::any_of(log.cbegin(), log.cend(),
                           [&part](const QString &line) { return line.contains(part); });
    }
};

} // namespace

class TestCliPty : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void subcommandsOnDemo_data();
    void subcommandsOnDemo();
    void writeThenReadReturnsTheList();
    void verifyMismatchFails();
    void refusedBeforeWriting_data();
    void refusedBeforeWriting();
    void noBoxOrDoorStation_data();
    void noBoxOrDoorStation();
    void paramsSetThenRead();
    void initMemoryOnPentryMain();
    void monitorUntilInterrupted();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    QProcessEnvironment environment(const Simulator *sim) const;
    // Runs korvel-cli to its end with the short time-outs and a log file.
    CliRun run(const QStringList &args, const Simulator *sim);
    static QStringList withLog(const QStringList &args, const QString &logPath);

    QTemporaryDir m_dir;
    QString m_ini;
};

void TestCliPty::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Short memory steps keep the runs short (the file takes values below the
    // settings dialog's 200 ms as stored, as the window does); the search
    // keeps its own fixed windows.
    m_ini = writeFile("fast.ini", "[TimeSett]\r\nTimeOutProtokol=200\r\nTimeOutRead=100\r\n"
                                  "TimeOutWrite=100\r\n[ReportSett]\r\naWarnings=1\r\n");
}

QString TestCliPty::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

QProcessEnvironment TestCliPty::environment(const Simulator *sim) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVEL_COM7", sim ? sim->device() : QStringLiteral("/nonexistent/korvel-com7"));
    return env;
}

QStringList TestCliPty::withLog(const QStringList &args, const QString &logPath)
{
    return args + QStringList{"--log", logPath};
}

CliRun TestCliPty::run(const QStringList &args, const Simulator *sim)
{
    const QString logPath = path("run.log");
    QFile::remove(logPath);
    QProcess cli;
    cli.setProcessEnvironment(environment(sim));
    cli.setWorkingDirectory(m_dir.path());
    QStringList all = args;
    if (!args.contains("--help"))
        all += QStringList{"--ini", m_ini, "--log", logPath};
    cli.start(QStringLiteral(KORVEL_CLI), all);
    CliRun result;
    if (!cli.waitForStarted() || !cli.waitForFinished(120000)) {
        cli.kill();
        cli.waitForFinished();
        return result;
    }
    result.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -2;
    result.out = cli.readAllStandardOutput();
    result.err = QString::fromLocal8Bit(cli.readAllStandardError());
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly | QIODevice::Text))
        result.log = QString::fromLocal8Bit(log.readAll()).split('\n', Qt::SkipEmptyParts);
    return result;
}

void TestCliPty::subcommandsOnDemo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // "@DEV@" is the simulator's terminal
    QTest::addColumn<bool>("whole");     // the whole output, or one line of it

    QTest::newRow("ports") << QStringList{"ports"} << 0 << QByteArray("COM7\t@DEV@") << false;
    QTest::newRow("scan") << QStringList{"scan", "--com", "7"} << 0 << QByteArray("KDI3300 43981\n")
                          << true;
    QTest::newRow("scan --json")
        << QStringList{"scan", "--com=7", "--json"} << 0
        << QByteArray("{\"com\":7,\"command\":\"scan\",\"exitCode\":0,\"interface\":{\"model\":"
                      "\"KDI3300\",\"serial\":43981},\"ok\":true}\n")
        << true;
    QTest::newRow("find") << QStringList{"find", "--com", "7"} << 0
                          << QByteArray("74565\tMAIN\tKorvel\t0\tvideo\n"
                                        "703710\tEXT\tKorvel\t1\n"
                                        "703711\tEXT\tUnsupported\t2\n")
                          << true;
    QTest::newRow("params") << QStringList{"params", "--com", "7"} << 0
                            << QByteArray("as-address=5\nas-fixed=0\nr-time=4\ndevice-time=4\n"
                                          "light=0\n")
                            << true;
    QTest::newRow("monitor --seconds")
        << QStringList{"monitor", "--com", "7", "--seconds", "1"} << 0 << QByteArray() << true;
    QTest::newRow("help of a subcommand")
        << QStringList{"write", "--help"} << 0
        << QByteArray("Usage: korvel-cli write FILE [--com N] (--buttons LIST | --install FILE)")
        << false;
}

void TestCliPty::subcommandsOnDemo()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(bool, whole);

    Simulator sim;
    QVERIFY(sim.start({"--install", QStringLiteral(DEMO_INSTALL)}));
    const CliRun r = run(args, &sim);
    QCOMPARE(r.exitCode, exitCode);
    out.replace("@DEV@", sim.device().toLocal8Bit());
    if (whole)
        QCOMPARE(r.out, out);
    else
        QVERIFY2(r.out.split('\n').contains(out), r.out.constData());
}

void TestCliPty::writeThenReadReturnsTheList()
{
    Simulator sim;
    QVERIFY(sim.start({"--install", QStringLiteral(DEMO_INSTALL)}));
    // 10 MAIN buttons, 16 EXT buttons: second serials where the layouts
    // hold them, an empty button, a six-digit serial.
    QByteArray list = "1001|2001\r\n1002\r\n\r\n1004\r\n1005\r\n1006\r\n1007\r\n1008\r\n"
                      "1009\r\n1010|2010\r\n";
    for (int i = 1; i <= 16; ++i)
        list += QByteArray::number(i == 16 ? 999999 : 5000 + i) + "\r\n";
    const QString listPath = writeFile("list.txt", list);
    const QString install = writeFile("demo.counts", "# serial buttons\n74565 10 video\n"
                                                     "703710 16\n703711 0\n");

    const CliRun written = run({"write", listPath, "--com", "7", "--install", install}, &sim);
    QCOMPARE(written.exitCode, 0);
    QCOMPARE(written.out, QByteArray("Written: 26 buttons\n"));
    QVERIFY(written.log.contains("> Imported: list.txt (26 buttons)"));
    QCOMPARE(written.log.count("> Reset device"), 1);

    const QString back = path("back.txt");
    const CliRun read = run({"read", "--com", "7", "--buttons", "10,16,0", "-o", back}, &sim);
    QCOMPARE(read.exitCode, 0);
    QVERIFY(read.log.contains("Serials writed in read column!"));
    QFile file(back);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), list);
}

void TestCliPty::verifyMismatchFails()
{
    Simulator sim;
    QVERIFY(sim.start({"--install", QStringLiteral(DEMO_INSTALL)}));
    sim.command("fault WriteData corrupt 1");
    const QString list = writeFile("verify.txt", "1001\r\n1002\r\n1003\r\n1004\r\n");
    const CliRun r = run({"write", list, "--com", "7", "--buttons", "4,0,0", "--verify"}, &sim);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.logHas("> ERROR: Verify 74565: address 84"), qPrintable(r.log.join('\n')));
    QVERIFY(!r.logHas("> Verify OK"));
    // The write itself ended with its reset before the read-back.
    QVERIFY(r.log.indexOf("> Reset device") < r.log.indexOf("> Verifying written memory..."));
}

void TestCliPty::refusedBeforeWriting_data()
{
    QTest::addColumn<QStringList>("args"); // "@LIST@": a 10-line phone list
    QTest::addColumn<QByteArray>("file");  // content of "@FILE@"
    QTest::addColumn<QString>("message");  // a line of standard error begins so
    QTest::addColumn<bool>("searchRuns");  // whether the door stations were searched

    const QByteArray eleven = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n";
    const QStringList write{"write", "@LIST@", "--com", "7"};

    QTest::newRow("more lines than buttons")
        << QStringList{"write", "@FILE@", "--com", "7", "--buttons", "10,0,0"} << eleven
        << "error: Sum of device keys[10] is not the same as record count[11] in phone table!"
        << false;
    QTest::newRow("unreadable phone list")
        << QStringList{"write", "@NOFILE@", "--com", "7", "--buttons", "10,0,0"} << QByteArray()
        << "error: cannot read the phone list" << false;
    QTest::newRow("unreadable installation file")
        << write + QStringList{"--install", "@NOFILE@"} << QByteArray() << "korvel-cli: " << false;
    QTest::newRow("installation file without count")
        << write + QStringList{"--install", "@FILE@"} << QByteArray("74565\n")
        << "korvel-cli: " << false;
    QTest::newRow("unknown subcommand") << QStringList{"erase"} << QByteArray()
                                        << "korvel-cli: unknown subcommand \"erase\"" << false;
    QTest::newRow("option of another subcommand")
        << write + QStringList{"--buttons", "10", "--seconds", "3"} << QByteArray()
        << "korvel-cli: write takes no option --seconds" << false;
    QTest::newRow("no button counts")
        << write << QByteArray() << "korvel-cli: write needs the button counts" << false;
    QTest::newRow("setting out of range")
        << QStringList{"params", "--com", "7", "--set", "as-address=64"} << QByteArray()
        << "korvel-cli: --set: \"as-address=64\" is not a valid setting" << false;
    QTest::newRow("a door station without count")
        << write + QStringList{"--buttons", "10,16"} << QByteArray()
        << "error: door station 703711 (EXT, order 2) has no button count" << true;
    QTest::newRow("count the grid does not offer")
        << write + QStringList{"--buttons", "10,16,16"} << QByteArray()
        << "error: door station 703711 (EXT, order 2), Unsupported: 16 buttons is not possible"
        << true;
    QTest::newRow("no memory layout")
        << write + QStringList{"--install", "@FILE@"}
        << QByteArray("74565 10\n703710 16\n703711 4 Pentry\n")
        << "error: Device 703711 (EXT, Pentry, 4 buttons) has no known memory layout!" << true;
    QTest::newRow("init memory on a Korvel MAIN")
        << QStringList{"init-memory", "--com", "7", "--buttons", "4,0,0"} << QByteArray()
        << "error: Init memory is for a Pentry MAIN; door station 74565 is Korvel" << true;
}

void TestCliPty::refusedBeforeWriting()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    QFETCH(bool, searchRuns);

    Simulator sim;
    QVERIFY(sim.start({"--install", QStringLiteral(DEMO_INSTALL)}));
    const QString list =
        writeFile("ten.txt", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n");
    const QString filePath = writeFile("input", file);
    args.replaceInStrings("@LIST@", list);
    args.replaceInStrings("@FILE@", filePath);
    args.replaceInStrings("@NOFILE@", path("missing/none.txt"));

    const CliRun r = run(args, &sim);
    QCOMPARE(r.exitCode, 2);
    const QStringList errors = r.err.split('\n');
    QVERIFY2(std::any_of(errors.cbegin(), errors.cend(),
                         [&](const QString &line) { return line.startsWith(message); }),
             qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // Nothing reached a door station's memory; only a search may have run.
    QVERIFY(!r.logHas("Selecting device for mem access"));
    QCOMPARE(r.logHas(" Sending: "), searchRuns);
}

void TestCliPty::noBoxOrDoorStation_data()
{
    QTest::addColumn<QStringList>("simArgs"); // empty: no simulator on COM7
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QStringList demo{"--install", QStringLiteral(DEMO_INSTALL)};
    QTest::newRow("box answers absent")
        << demo + QStringList{"--box", "absent"} << QStringList{"find", "--com", "7"}
        << "error: no interface box answered on COM7";
    QTest::newRow("box silent") << demo + QStringList{"--box", "silent"}
                                << QStringList{"scan", "--com", "7"}
                                << "error: no interface box answered on COM7";
    QTest::newRow("no port") << QStringList()
                             << QStringList{"read", "--com", "7", "--buttons", "10"}
                             << "error: COM7 does not exist";
    QTest::newRow("no door station")
        << QStringList{"--install", "@EMPTY@"} << QStringList{"params", "--com", "7"}
        << "error: no door station found on the bus";
}

void TestCliPty::noBoxOrDoorStation()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(QString, message);

    Simulator sim;
    if (!simArgs.isEmpty()) {
        simArgs.replaceInStrings("@EMPTY@", writeFile("box-only.install", "box KDI3300:43981\n"));
        QVERIFY(sim.start(simArgs));
    }
    const CliRun r = run(args, simArgs.isEmpty() ? nullptr : &sim);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.startsWith(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}

void TestCliPty::paramsSetThenRead()
{
    Simulator sim;
    QVERIFY(sim.start({"--install", QStringLiteral(DEMO_INSTALL)}));
    const QByteArray expected = "as-address=9\nas-fixed=1\nr-time=4\ndevice-time=2.5\nlight=1\n";
    const CliRun set = run({"params", "--com", "7", "--set",
                            "as-address=9,as-fixed=1,device-time=2.5,light=1", "--verify"},
                           &sim);
    QCOMPARE(set.exitCode, 0);
    QCOMPARE(set.out, expected);
    QVERIFY(set.log.contains("> Verify OK: 74565"));

    const CliRun read = run({"params", "--com", "7", "--serial", "74565", "--json"}, &sim);
    QCOMPARE(read.exitCode, 0);
    const QJsonObject result = QJsonDocument::fromJson(read.out).object();
    // Bytes 2 and 5..7 of the demo block are carried along unchanged.
    QCOMPARE(result.value("block").toString(), QStringLiteral("8940775004010200"));
    QCOMPARE(result.value("settings").toObject().value("device-time").toDouble(), 2.5);
}

void TestCliPty::initMemoryOnPentryMain()
{
    Simulator sim;
    QVERIFY(
        sim.start({"--install", writeFile("pentry.install", "box KDI3300:43981\n"
                                                            "main 74565 type=A10 version=012\n")}));
    const CliRun init = run({"init-memory", "--com", "7", "--buttons", "2"}, &sim);
    QCOMPARE(init.exitCode, 0);
    QCOMPARE(init.log.count("> Reset device"), 2); // the block, then the four phones

    const CliRun read = run({"read", "--com", "7", "--buttons", "4"}, &sim);
    QCOMPARE(read.exitCode, 0);
    QCOMPARE(read.out, QByteArray("101\r\n102\r\n103\r\n104\r\n"));
    const CliRun params = run({"params", "--com", "7"}, &sim);
    QCOMPARE(params.out,
             QByteArray("as-address=0\nas-fixed=0\nr-time=4\ndevice-time=4\nlight=0\n"));
}

void TestCliPty::monitorUntilInterrupted()
{
    Simulator sim;
    QVERIFY(sim.start({"--install", QStringLiteral(DEMO_INSTALL)}));
    QProcess cli;
    cli.setProcessEnvironment(environment(&sim));
    cli.start(QStringLiteral(KORVEL_CLI),
              {"monitor", "--com", "7", "--ini", m_ini, "--log", path("monitor.log")});
    QVERIFY(cli.waitForStarted());
    cli.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("Watching the bus") && cli.waitForReadyRead(20000))
        err += cli.readAllStandardError();
    QVERIFY2(err.contains("Watching the bus"), err.constData());

    sim.command("press 74565 10");
    sim.command("light 5");
    cli.setReadChannel(QProcess::StandardOutput);
    QByteArray out;
    while (!out.contains("[1205]") && cli.waitForReadyRead(10000))
        out += cli.readAllStandardOutput();
    // Ctrl-C on a terminal: the same signal.
    ::kill(pid_t(cli.processId()), SIGINT);
    QVERIFY(cli.waitForFinished(10000));
    out += cli.readAllStandardOutput();
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 0);
    // The call telegram's repeat is not a second press.
    QCOMPARE(out, QByteArray("> Key: 74565; AS:10 [0123458A]\n> Key: Light; AS:5 [1205]\n"));
}

QTEST_GUILESS_MAIN(TestCliPty)
#include "tst_cli_pty.moc"
