// The update check against an HTTPS server on the loopback interface.
#include "downloadthread.h"
#include "httpsserver.h"
#include "inifile.h"
#include "platformservices.h"
#include "selfreplace.h"
#include "updateconfig.h"
#include "versionfile.h"

#include <QCryptographicHash>
#include <QTcpServer>
#include <QtTest>

namespace
{

const QByteArray VersionPath = "/qbxnetsoftware/Tessera/activeversion.txt";
const QByteArray ProgramPath = "/qbxnetsoftware/Tessera/Korvel.x64.exe";

QByteArray BasicAuth()
{
    return "Basic " + (UpdateUserName() + ':' + UpdatePassword()).toUtf8().toBase64();
}

// What the worker handed over, in order: "log:...", "max:n", "pos:n".
struct HandOvers {
    QStringList events;
    QStringList lines() const
    {
        QStringList result;
        for (const QString &e : events) {
            if (e.startsWith(QLatin1String("log:")))
                result << e.mid(4);
        }
        return result;
    }
};

enum class Server {
    Normal,
    RedirectVersion,
    Unauthorized,
    ProgramMissing,
    ClosesConnection,
    UnknownCa,
    SystemStoreOnly
};

} // namespace
Q_DECLARE_METATYPE(Server)

class TestUpdate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void getField_data();
    void getField();
    void check_data();
    void check();
    void unreachableHostSendsNoRequest();
    void progressHandOversInOrder();
    void credentialsNotPlainInProgram();

private:
    // Runs one check with the address from KORVEL_UPDATE_BASE and the CA
    // file from the settings file in `folder`; returns once the thread ended.
    bool runCheck(const QString &base, const QString &folder, HandOvers &out,
                  RecordingPlatformServices &platform, quint64 *threadId = nullptr);

    QTemporaryDir m_pkiDir;
    TestPki m_trusted;
    TestPki m_unknown;
};

void TestUpdate::initTestCase()
{
    QVERIFY(QSslSocket::supportsSsl());
    m_trusted = TestPki::make(m_pkiDir.path(), QStringLiteral("trusted"));
    QVERIFY2(m_trusted.error.isEmpty(), qPrintable(m_trusted.error));
    m_unknown = TestPki::make(m_pkiDir.path(), QStringLiteral("unknown"));
    QVERIFY2(m_unknown.error.isEmpty(), qPrintable(m_unknown.error));
}

void TestUpdate::getField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("field");
    QTest::newRow("a;b 1") << "a;b"
                           << ";" << 1 << "a";
    QTest::newRow("a;b 2") << "a;b"
                           << ";" << 2 << "b";
    QTest::newRow("a;b 3") << "a;b"
                           << ";" << 3 << "";
    QTest::newRow("a; 2") << "a;"
                          << ";" << 2 << "";
    QTest::newRow("a 1") << "a"
                         << ";" << 1 << "a";
    QTest::newRow("empty") << ""
                           << ";" << 1 << "";
    QTest::newRow("last runs to the end") << "2.9;x;12\r\n"
                                          << ";" << 3 << "12\r\n";
    QTest::newRow("middle field") << "a;b;c"
                                  << ";" << 2 << "b";
    QTest::newRow("empty middle") << "a;;c"
                                  << ";" << 2 << "";
    QTest::newRow("long delimiter") << "a||b||c"
                                    << "||" << 3 << "c";
    QTest::newRow("n 255 beyond") << "a;b"
                                  << ";" << 255 << "";
}

void TestUpdate::getField()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(int, n);
    QFETCH(QString, field);
    QCOMPARE(GetField(text, delimiter, n), field);
}

bool TestUpdate::runCheck(const QString &base, const QString &folder, HandOvers &out,
                          RecordingPlatformServices &platform, quint64 *threadId)
{
    qputenv("KORVEL_UPDATE_BASE", base.toUtf8());
    const UpdateSettings settings =
        CurrentUpdateSettings(QDir(folder).filePath(QStringLiteral("Korvel.x64.ini")), folder);
    qputenv("KORVEL_UPDATE_BASE", QByteArray());
    TMyDownloadThread thread(
        settings, platform, this,
        [&out](const QString &line) { out.events << QStringLiteral("log:") + line; },
        [&out](qint64 v) { out.events << QStringLiteral("max:%1").arg(v); },
        [&out](qint64 v) { out.events << QStringLiteral("pos:%1").arg(v); });
    thread.startWithId();
    if (threadId)
        *threadId = thread.osThreadId();
    // The hand-overs need this thread's event loop, so wait while spinning it.
    const QDeadlineTimer deadline(60000);
    while (!thread.isFinished() && !deadline.hasExpired())
        QTest::qWait(10);
    return thread.wait(deadline);
}

void TestUpdate::check_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<QByteArray>("versionFile"); // %size and %sha stand for the served file's
    QTest::addColumn<QStringList>("lines");      // after "> Downloading files. [th...]"
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<bool>("started");

    const QStringList found = {"> Checking version...", "> New version 2.9 found.",
                               "> Downloading. Please wait..."};
    const QStringList saved = {"> New version saved in:", "%folder"};
    const QList<QByteArray> both = {VersionPath, ProgramPath};
    const QList<QByteArray> versionOnly = {VersionPath};

    QTest::newRow("2.9, exact size")
        << Server::Normal << QByteArray("2.9;whatever;%size") << found + saved << both << true;
    QTest::newRow("2.8 is not newer")
        << Server::Normal << QByteArray("2.8;x;%size")
        << QStringList{"> Checking version...", "> No new version found."} << versionOnly << false;
    QTest::newRow("2.10 counts as 210")
        << Server::Normal << QByteArray("2.10;x;%size")
        << QStringList{"> Checking version...", "> New version 2.10 found.",
                       "> Downloading. Please wait..."} +
               saved
        << both << true;
    QTest::newRow("3.0 counts as 30")
        << Server::Normal << QByteArray("3.0;x;%size")
        << QStringList{"> Checking version...", "> New version 3.0 found.",
                       "> Downloading. Please wait..."} +
               saved
        << both << true;
    QTest::newRow("2.8.1 is no whole number")
        << Server::Normal << QByteArray("2.8.1;x;%size")
        << QStringList{"> Checking version...", "> Error: '28.1' is not a valid integer value",
                       "> No new version found."}
        << versionOnly << false;
    QTest::newRow("two fields: no size")
        << Server::Normal << QByteArray("2.9;x")
        << found + QStringList{"> Wrong size. Please, try again"} << both << false;
    QTest::newRow("size followed by a line break")
        << Server::Normal << QByteArray("2.9;x;%size\r\n")
        << found + QStringList{"> Wrong size. Please, try again"} << both << false;
    QTest::newRow("size one off") << Server::Normal << QByteArray("2.9;x;1%size")
                                  << found + QStringList{"> Wrong size. Please, try again"} << both
                                  << false;
    QTest::newRow("SHA-256 matches")
        << Server::Normal << QByteArray("2.9;x;%size;%sha\r\n") << found + saved << both << true;
    QTest::newRow("SHA-256 differs")
        << Server::Normal << QByteArray("2.9;x;%size;" + QByteArray(64, 'a'))
        << found + QStringList{"> Wrong checksum. Please, try again"} << both << false;
    QTest::newRow("redirect followed")
        << Server::RedirectVersion << QByteArray("2.9;x;%size") << found + saved
        << QList<QByteArray>{VersionPath, "/moved.txt", ProgramPath} << true;
    QTest::newRow("401") << Server::Unauthorized << QByteArray("2.9;x;%size")
                         << QStringList{"> Checking version...",
                                        "> IError protocol: Unauthorized; HTTP code: 401",
                                        "> No new version found."}
                         << versionOnly << false;
    QTest::newRow("program file missing")
        << Server::ProgramMissing << QByteArray("2.9;x;%size")
        << found + QStringList{"> IError protocol: Not Found; HTTP code: 404"} << both << false;
    QTest::newRow("server closes the connection")
        << Server::ClosesConnection << QByteArray("2.9;x;%size")
        << QStringList{"> Checking version...", "> IError: connection was closed gracefully!",
                       "> No new version found."}
        << QList<QByteArray>{} << false;
    QTest::newRow("certificate from an unknown CA")
        << Server::UnknownCa << QByteArray("2.9;x;%size")
        << QStringList{"> Checking version...", "General IError: *", "> No new version found."}
        << QList<QByteArray>{} << false;
    QTest::newRow("test CA not in the system store")
        << Server::SystemStoreOnly << QByteArray("2.9;x;%size")
        << QStringList{"> Checking version...", "General IError: *", "> No new version found."}
        << QList<QByteArray>{} << false;
}

void TestUpdate::check()
{
    QFETCH(Server, server);
    QFETCH(QByteArray, versionFile);
    QFETCH(QStringList, lines);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(bool, started);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    // The CA file is named relative to the program folder.
    QVERIFY(QFile::copy(m_trusted.caFile, folder.filePath(QStringLiteral("update-ca.pem"))));
    if (server != Server::SystemStoreOnly) {
        QVERIFY(IniFile(folder.filePath(QStringLiteral("Korvel.x64.ini")))
                    .writeString(QStringLiteral("ProgSett"), QStringLiteral("aUpdateCaFile"),
                                 QStringLiteral("update-ca.pem")));
    }
    // The running program's file is never touched by a check.
    QFile old(folder.filePath(ProgramFileName));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old program");
    old.close();
    const QStringList filesBefore = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);

    QByteArray program(50000, Qt::Uninitialized);
    for (int i = 0; i < program.size(); ++i)
        program[i] = char(i * 7 + i / 251);
    versionFile.replace("%size", QByteArray::number(program.size()));
    versionFile.replace(
        "%sha", QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex().toUpper());

    TestHttpsServer https;
    QVERIFY(https.start(server == Server::UnknownCa ? m_unknown : m_trusted,
                        server == Server::Unauthorized ? QByteArray("Basic wrong") : BasicAuth()));
    if (server == Server::RedirectVersion) {
        https.route(VersionPath, {302, "Found", {}, "/moved.txt", false});
        https.route("/moved.txt", {200, "OK", versionFile, {}, false});
    } else {
        https.route(VersionPath, {200, "OK", versionFile, {}, server == Server::ClosesConnection});
    }
    if (server != Server::ProgramMissing)
        https.route(ProgramPath, {200, "OK", program, {}, false});

    HandOvers out;
    RecordingPlatformServices platform;
    quint64 threadId = 0;
    QVERIFY(runCheck(https.base(), folder.path(), out, platform, &threadId));

    QStringList expected = {QStringLiteral("> Downloading files. [th%1]").arg(threadId)};
    for (const QString &line : lines) {
        expected << (line == QLatin1String("%folder")
                         ? QDir::toNativeSeparators(folder.path()) + QDir::separator()
                         : line);
    }
    QStringList got = out.lines();
    for (int i = 0; i < qMin(got.size(), expected.size()); ++i) {
        if (expected.at(i).endsWith(QLatin1Char('*')) &&
            got.at(i).startsWith(expected.at(i).chopped(1)))
            got[i] = expected.at(i);
    }
    QCOMPARE(got, expected);
    if (!requests.isEmpty() || server == Server::UnknownCa || server == Server::SystemStoreOnly)
        QCOMPARE(https.requests, requests);
    QCOMPARE(https.unauthorized, server == Server::Unauthorized ? 1 : 0);

    const QString downloaded = folder.filePath(QStringLiteral("_Korvel.x64.exe"));
    if (started) {
        QCOMPARE(platform.calls, QStringList{QStringLiteral("start %1 1").arg(downloaded)});
        QFile file(downloaded);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), program);
        QVERIFY(QFileInfo(downloaded).isExecutable());
        QStringList filesAfter = filesBefore + QStringList{"_Korvel.x64.exe"};
        filesAfter.sort();
        QStringList files = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        QCOMPARE(files, filesAfter);
    } else {
        // Nothing started, nothing left behind: no "_" file, no temporary file.
        QVERIFY(platform.calls.isEmpty());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    }
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old program"));
}

void TestUpdate::unreachableHostSendsNoRequest()
{
    // A port on the loopback interface that nobody listens on.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();

    QTemporaryDir folder;
    HandOvers out;
    RecordingPlatformServices platform;
    quint64 threadId = 0;
    QVERIFY(runCheck(QStringLiteral("https://127.0.0.1:%1").arg(port), folder.path(), out, platform,
                     &threadId));
    QCOMPARE(out.events,
             (QStringList{QStringLiteral("log:> Downloading files. [th%1]").arg(threadId),
                          QStringLiteral("log:> Net connection failed.")}));
    QVERIFY(platform.calls.isEmpty());
    QVERIFY(QDir(folder.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    // No server configured at all: the same, without any attempt.
    HandOvers none;
    QVERIFY(runCheck(QString(), folder.path(), none, platform));
    QCOMPARE(none.lines().value(1), QStringLiteral("> Net connection failed."));
    QCOMPARE(none.lines().size(), 2);
}

void TestUpdate::progressHandOversInOrder()
{
    QTemporaryDir folder;
    QVERIFY(QFile::copy(m_trusted.caFile, folder.filePath(QStringLiteral("ca.pem"))));
    QVERIFY(IniFile(folder.filePath(QStringLiteral("Korvel.x64.ini")))
                .writeString(QStringLiteral("ProgSett"), QStringLiteral("aUpdateCaFile"),
                             folder.filePath(QStringLiteral("ca.pem"))));
    const QByteArray program(400000, 'k');
    const QByteArray versionFile = "2.9;x;" + QByteArray::number(program.size());
    TestHttpsServer https;
    QVERIFY(https.start(m_trusted, BasicAuth()));
    https.route(VersionPath, {200, "OK", versionFile, {}, false});
    https.route(ProgramPath, {200, "OK", program, {}, false});

    HandOvers out;
    RecordingPlatformServices platform;
    QVERIFY(runCheck(https.base(), folder.path(), out, platform));

    // Each request: its total first, then the bytes so far, rising, up to
    // the total, then 0 when it ends; the log lines around it stay in place.
    auto checkRequest = [&out](const QString &before, qint64 total, const QString &after) {
        int i = int(out.events.indexOf(QStringLiteral("log:") + before));
        QVERIFY2(i >= 0, qPrintable(before));
        QCOMPARE(out.events.value(++i), QStringLiteral("max:%1").arg(total));
        qint64 last = -1;
        while (out.events.value(i + 1).startsWith(QLatin1String("pos:")) &&
               out.events.value(i + 1) != QLatin1String("pos:0")) {
            const qint64 position = out.events.value(++i).mid(4).toLongLong();
            QVERIFY(position >= last);
            last = position;
        }
        QCOMPARE(last, total);
        QCOMPARE(out.events.value(++i), QStringLiteral("pos:0"));
        QCOMPARE(out.events.value(++i), QStringLiteral("log:") + after);
    };
    checkRequest(QStringLiteral("> Checking version..."), versionFile.size(),
                 QStringLiteral("> New version 2.9 found."));
    checkRequest(QStringLiteral("> Downloading. Please wait..."), program.size(),
                 QStringLiteral("> New version saved in:"));
    QCOMPARE(platform.calls.size(), 1);
}

void TestUpdate::credentialsNotPlainInProgram()
{
    // The built program holds the server's credentials only scrambled.
    QFile exe(QStringLiteral(KORVEL_EXE));
    QVERIFY(exe.open(QIODevice::ReadOnly));
    const QByteArray binary = exe.readAll();
    const QByteArray password = UpdatePassword().toUtf8();
    QVERIFY(password.size() >= 4);
    QVERIFY(!binary.contains(password));
    const QByteArray pair = (UpdateUserName() + ':' + UpdatePassword()).toUtf8();
    QVERIFY(!binary.contains(pair.toBase64()));
    qputenv("KORVEL_UPDATE_BASE", QByteArray());
    qunsetenv("KORVEL_UPDATE_BASE");
    const QByteArray base = UpdateBaseAddress().toUtf8();
    QVERIFY(base.isEmpty() || !binary.contains(base));
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
