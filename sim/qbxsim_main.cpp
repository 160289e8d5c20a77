// qbxsim: the bus simulator on a pseudo-terminal.
#include "ptyserver.h"
#include "qbxsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &line)
{
    out() << line << Qt::endl;
}

const char *helpText =
    "commands:\n"
    "  box KDI3300:<serial> | KDI3310:<serial> | absent | silent\n"
    "  fault <command> <kind> [count] [delay-ms | garbled payload] [every=N] [at=N,N,...]\n"
    "      command: SearchInterface InitQBXBUS SearchDevice CheckSeriesType\n"
    "               SelMemAccess ReadLocation WriteData ResetDevice\n"
    "      kind: none negative drop delay garble split disconnect corrupt; count -1 = always\n"
    "      every=N: only every N-th such command; at=...: only those (counted from 1)\n"
    "      corrupt (WriteData): acknowledged, but one stored byte differs\n"
    "  station main|ext <serial> [type=HHH] [version=HHH] [repeat]   add a door station\n"
    "  stations     list the door stations\n"
    "  dump <serial>   a door station's memory (read addresses 8400-84FF)\n"
    "  early-announce on|off   a MAIN announcement before the box's acknowledgement\n"
    "  press <serial> [as]   a call button rings phone <serial> (AS address 0-63, default 0)\n"
    "  light <as>   a light button with AS address 0-63\n"
    "  clear        remove all faults\n"
    "  hangup       pull the cable (the terminal goes away)\n"
    "  quit\n";

// --- Key presses on the bus ---
// "press SERIAL [AS]" and "light AS"; false when the words do not fit.
bool runKeyCommand(const QStringList &words, sim::QbxSimulator &simulator)
{
    const QString verb = words.first().toLower();
    bool ok = true;
    if (verb == QLatin1String("press") && (words.size() == 2 || words.size() == 3)) {
        const uint serial = words.at(1).toUInt(&ok);
        const int as = words.size() == 3 && ok ? words.at(2).toInt(&ok) : 0;
        if (!ok || !simulator.press(serial, as))
            return false;
        say(QStringLiteral("pressed: ") + sim::QbxSimulator::callTelegram(serial, as));
        return true;
    }
    if (verb == QLatin1String("light") && words.size() == 2) {
        const int as = words.at(1).toInt(&ok);
        if (!ok || !simulator.light(as))
            return false;
        say(QStringLiteral("light: ") + sim::QbxSimulator::lightTelegram(as));
        return true;
    }
    return false;
}
// --- end of key presses ---

bool runCommand(const QString &line, sim::QbxSimulator &simulator, sim::PtyServer &server)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString verb = words.first().toLower();
    if (verb == QLatin1String("quit") || verb == QLatin1String("exit")) {
        QCoreApplication::quit();
    } else if (verb == QLatin1String("help")) {
        out() << helpText << Qt::flush;
    } else if (verb == QLatin1String("box") && words.size() == 2) {
        sim::BoxConfig box;
        if (!sim::BoxConfig::parse(words.at(1), box))
            return false;
        simulator.setBox(box);
        say(QStringLiteral("box set"));
    } else if (verb == QLatin1String("fault") && words.size() >= 3) {
        sim::Command command;
        sim::Fault fault;
        if (!sim::ParseCommandName(words.at(1), command) ||
            !sim::Fault::parseKind(words.at(2), fault.kind))
            return false;
        bool ok = true;
        QStringList positional;
        for (const QString &word : words.mid(3)) {
            if (word.startsWith(QLatin1String("every="))) {
                fault.every = word.mid(6).toInt(&ok);
            } else if (word.startsWith(QLatin1String("at="))) {
                for (const QString &n : word.mid(3).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                    fault.only.append(n.toInt(&ok));
                    if (!ok)
                        break;
                }
            } else {
                positional.append(word);
            }
            if (!ok)
                return false;
        }
        if (positional.size() >= 1)
            fault.remaining = positional.at(0).toInt(&ok);
        if (!ok)
            return false;
        if (positional.size() >= 2) {
            if (fault.kind == sim::Fault::Kind::Garble)
                fault.garbleText = positional.at(1);
            else
                fault.delayMs = positional.at(1).toInt(&ok);
        }
        if (!ok)
            return false;
        simulator.setFault(command, fault);
        say(QStringLiteral("fault set"));
    } else if (verb == QLatin1String("station")) {
        sim::Station station;
        QString error;
        if (!sim::Station::parse(line.section(QLatin1Char(' '), 1), station, &error)) {
            say(QStringLiteral("? ") + error);
            return true;
        }
        simulator.addStation(station);
        say(QStringLiteral("station added"));
    } else if (verb == QLatin1String("stations")) {
        for (const sim::Station &station : simulator.stations())
            say(station.describe());
    } else if (verb == QLatin1String("dump") && words.size() == 2) {
        const QStringList lines = simulator.dump(words.at(1).toUInt());
        if (lines.isEmpty())
            say(QStringLiteral("? no door station ") + words.at(1));
        for (const QString &l : lines)
            say(l);
    } else if (verb == QLatin1String("early-announce") && words.size() == 2) {
        simulator.setAnnounceBeforeAck(words.at(1) == QLatin1String("on"));
        say(QStringLiteral("early announcement ") + words.at(1));
    } else if (verb == QLatin1String("press") || verb == QLatin1String("light")) {
        return runKeyCommand(words, simulator);
    } else if (verb == QLatin1String("clear")) {
        simulator.clearFaults();
        say(QStringLiteral("faults cleared"));
    } else if (verb == QLatin1String("hangup")) {
        server.hangUp();
        say(QStringLiteral("hung up"));
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qbxsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("QBX:BUS simulator: an interface box on a pseudo-terminal.\n\n") +
        QString::fromLatin1(helpText));
    parser.addHelpOption();
    QCommandLineOption boxOption(QStringLiteral("box"),
                                 QStringLiteral("The interface box: KDI3300:<serial>, "
                                                "KDI3310:<serial>, absent or silent."),
                                 QStringLiteral("box"), QStringLiteral("KDI3300:43981"));
    QCommandLineOption comOption(QStringLiteral("com"),
                                 QStringLiteral("COM number to suggest for KORVEL_COM<n>."),
                                 QStringLiteral("n"), QStringLiteral("7"));
    QCommandLineOption installOption(QStringLiteral("install"),
                                     QStringLiteral("Installation description: a box line and "
                                                    "door-station lines (see sim/demo.install)."),
                                     QStringLiteral("file"));
    QCommandLineOption saveOption(QStringLiteral("save"),
                                  QStringLiteral("Door-station memories: loaded from this file "
                                                 "at start when it exists, written back whenever "
                                                 "a door station leaves memory access and at the end."),
                                  QStringLiteral("file"));
    parser.addOption(installOption);
    parser.addOption(saveOption);
    parser.addOption(boxOption);
    parser.addOption(comOption);
    parser.process(app);

    sim::BoxConfig box;
    if (!sim::BoxConfig::parse(parser.value(boxOption), box)) {
        QTextStream(stderr) << "qbxsim: cannot understand --box " << parser.value(boxOption)
                            << Qt::endl;
        return 2;
    }
    sim::QbxSimulator simulator;
    simulator.setBox(box);
    if (parser.isSet(installOption)) {
        QFile file(parser.value(installOption));
        QString error;
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            error = file.errorString();
        } else if (simulator.loadInstallation(QString::fromUtf8(file.readAll()), &error)) {
            error.clear();
        }
        if (!error.isEmpty()) {
            QTextStream(stderr) << "qbxsim: " << parser.value(installOption) << ": " << error
                                << Qt::endl;
            return 2;
        }
        // An explicit --box wins over the description's box line.
        if (parser.isSet(boxOption))
            simulator.setBox(box);
    }
    const QString savePath = parser.value(saveOption);
    if (!savePath.isEmpty() && QFile::exists(savePath)) {
        QFile file(savePath);
        QString error;
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            error = file.errorString();
        else if (!simulator.loadMemoryText(QString::fromLatin1(file.readAll()), &error))
            error = error.isEmpty() ? QStringLiteral("not understood") : error;
        if (!error.isEmpty()) {
            QTextStream(stderr) << "qbxsim: " << savePath << ": " << error << Qt::endl;
            return 2;
        }
    }
    auto saveMemories = [&simulator, savePath]() {
        if (savePath.isEmpty())
            return;
        // Written beside and renamed, so a stopped simulator never leaves half a file.
        QSaveFile file(savePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
            file.write(simulator.memoryText().toLatin1()) < 0 || !file.commit())
            QTextStream(stderr) << "qbxsim: cannot write " << savePath << ": "
                                << file.errorString() << Qt::endl;
    };
    QObject::connect(&simulator, &sim::QbxSimulator::memoryReleased, saveMemories);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, saveMemories);
    QObject::connect(&simulator, &sim::QbxSimulator::output, [](const QByteArray &bytes, int) {
        say(QStringLiteral("> ") + QString::fromLatin1(bytes.toHex(' ')));
    });

    sim::PtyServer server(simulator);
    if (!server.start()) {
        QTextStream(stderr) << "qbxsim: no pseudo-terminal: " << server.errorString() << Qt::endl;
        return 1;
    }
    say(QStringLiteral("PTY ") + server.devicePath());
    say(QStringLiteral("export KORVEL_COM%1=%2").arg(parser.value(comOption), server.devicePath()));

    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });

    // Commands on standard input; without one (started in the background)
    // the simulator simply serves until it is stopped.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&]() {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        const QStringList lines = QString::fromLocal8Bit(buffer, int(n)).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (!runCommand(line.trimmed(), simulator, server))
                say(QStringLiteral("? ") + line.trimmed() + QStringLiteral(" (try help)"));
        }
    });

    return app.exec();
}
