// The command line of korvel-cli: what is taken, and what is refused before
// anything reaches the bus.
#include "cliargs.h"

#include <QtTest>

class TestCliArgs : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void paramSettings_data();
    void paramSettings();
    void installFile_data();
    void installFile();
};

void TestCliArgs::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<int>("com");
    QTest::addColumn<QString>("file");

    QTest::newRow("value after =") << QStringList{"scan", "--com=12"} << "" << 12 << "";
    QTest::newRow("write with its file after options")
        << QStringList{"write", "--buttons", "4", "--com", "3", "list.txt", "--verify"} << "" << 3
        << "list.txt";
    QTest::newRow("com out of range") << QStringList{"find", "--com", "257"}
                                      << "--com: \"257\" is not a port number 1..256" << 0 << "";
    QTest::newRow("value missing")
        << QStringList{"find", "--com"} << "--com needs a value" << 0 << "";
    QTest::newRow("flag with value") << QStringList{"write", "a", "--buttons", "4", "--verify=1"}
                                     << "--verify takes no value" << 0 << "";
    QTest::newRow("option twice") << QStringList{"scan", "--com", "1", "--com", "2"}
                                  << "--com given twice" << 0 << "";
    QTest::newRow("two files") << QStringList{"write", "a", "b", "--buttons", "4"}
                               << "write takes one phone-list file" << 0 << "";
    QTest::newRow("unreadable installation file")
        << QStringList{"read", "--buttons", "4", "--install", "/nonexistent/x"}
        << "/nonexistent/x: No such file or directory" << 0 << "";
    QTest::newRow("negative count") << QStringList{"read", "--buttons", "4,-1"}
                                    << "--buttons: \"-1\" is not a button count" << 0 << "";
    QTest::newRow("verify without --set")
        << QStringList{"params", "--verify"} << "--verify applies to params --set only" << 0 << "";
    QTest::newRow("argument of a command without one")
        << QStringList{"find", "extra"} << "find takes no argument \"extra\"" << 0 << "";
}

void TestCliArgs::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(int, com);
    QFETCH(QString, file);

    CliOptions options;
    QString message;
    QCOMPARE(ParseCliArgs(args, options, message), error.isEmpty());
    QCOMPARE(message, error);
    if (error.isEmpty()) {
        QCOMPARE(options.com, com);
        QCOMPARE(options.file, file);
    }
}

void TestCliArgs::paramSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("changed"); // the changes as key=value, in key order

    QTest::newRow("all five") << "as-address=63,as-fixed=yes,r-time=7,device-time=7.5,light=1"
                              << true << "a63 f1 r7 d15 l1";
    QTest::newRow("comma decimal: the comma separates settings")
        << "device-time=2,5" << false << "";
    QTest::newRow("half second") << "device-time=0.5" << true << "d1";
    QTest::newRow("quarter second") << "device-time=2.25" << false << "";
    QTest::newRow("AS address too high") << "as-address=64" << false << "";
    QTest::newRow("R contact time too high") << "r-time=8" << false << "";
    QTest::newRow("flag word") << "light=off" << true << "l0";
    QTest::newRow("flag not a flag") << "as-fixed=2" << false << "";
    QTest::newRow("unknown key") << "volume=3" << false << "";
    QTest::newRow("nothing") << "," << false << "";
}

void TestCliArgs::paramSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, changed);

    ParamChanges changes;
    QString error;
    QCOMPARE(ParseParamChanges(text, changes, error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok)
        return;
    QStringList got;
    if (changes.asAddress)
        got << QStringLiteral("a%1").arg(*changes.asAddress);
    if (changes.asFixed)
        got << QStringLiteral("f%1").arg(*changes.asFixed ? 1 : 0);
    if (changes.rContactTime)
        got << QStringLiteral("r%1").arg(*changes.rContactTime);
    if (changes.indoorDeviceTime)
        got << QStringLiteral("d%1").arg(*changes.indoorDeviceTime);
    if (changes.useAsLight)
        got << QStringLiteral("l%1").arg(*changes.useAsLight ? 1 : 0);
    QCOMPARE(got.join(' '), changed);
}

void TestCliArgs::installFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stations"); // serial:count[:video][:series], or the error

    QTest::newRow("comments, blank lines, flags")
        << "# demo\n74565 10 video\r\n\n703710,16 # first EXT\n703711 4 pentry\n"
        << "74565:10:video 703710:16 703711:4:Pentry";
    QTest::newRow("left out") << "74565 4\n703711 0\n"
                              << "74565:4 703711:0";
    QTest::newRow("no count") << "74565\n"
                              << "line 1: door station 74565 has no button count";
    QTest::newRow("unknown flag") << "74565 10 colour\n"
                                  << "line 1: unknown flag \"colour\"";
    QTest::newRow("twice") << "74565 10\n74565 4\n"
                           << "line 2: door station 74565 twice";
    QTest::newRow("not a serial") << "MAIN 10\n"
                                  << "line 1: \"MAIN\" is not a door station serial";
}

void TestCliArgs::installFile()
{
    QFETCH(QString, text);
    QFETCH(QString, stations);

    QList<StationCount> parsed;
    QString error;
    if (!ParseInstallText(text, parsed, error)) {
        QCOMPARE(error, stations);
        return;
    }
    QStringList got;
    for (const StationCount &s : std::as_const(parsed)) {
        QString item = QStringLiteral("%1:%2").arg(s.serial).arg(s.count);
        if (s.video)
            item += QStringLiteral(":video");
        if (!s.series.isEmpty())
            item += QLatin1Char(':') + s.series;
        got << item;
    }
    QCOMPARE(got.join(' '), stations);
}

QTEST_GUILESS_MAIN(TestCliArgs)
#include "tst_cliargs.moc"
