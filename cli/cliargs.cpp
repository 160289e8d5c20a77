#include "cliargs.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace
{

const QString Ports = QStringLiteral("ports");
const QString Scan = QStringLiteral("scan");
const QString Find = QStringLiteral("find");
const QString Read = QStringLiteral("read");
const QString Write = QStringLiteral("write");
const QString Params = QStringLiteral("params");
const QString InitMemory = QStringLiteral("init-memory");
const QString Monitor = QStringLiteral("monitor");

// Options every subcommand takes.
const QStringList CommonOptions{"--ini", "--log", "--json", "--help"};

// Further options per subcommand.
QStringList optionsOf(const QString &command)
{
    static const QMap<QString, QStringList> options{
        {Ports, {}},
        {Scan, {"--com"}},
        {Find, {"--com"}},
        {Read, {"--com", "--buttons", "--install", "--output"}},
        {Write, {"--com", "--buttons", "--install", "--verify", "--yes"}},
        {Params, {"--com", "--serial", "--set", "--verify"}},
        {InitMemory, {"--com", "--buttons", "--install", "--verify", "--yes"}},
        {Monitor, {"--com", "--seconds"}},
    };
    return options.value(command);
}

bool takesValue(const QString &option)
{
    static const QSet<QString> valued{"--ini",    "--log",    "--com", "--buttons", "--install",
                                      "--output", "--serial", "--set", "--seconds"};
    return valued.contains(option);
}

bool parsePositive(const QString &text, int max, int &value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok && value >= 1 && value <= max;
}

bool parseFlag(const QString &text, bool &value)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("1") || t == QLatin1String("yes") || t == QLatin1String("on") ||
        t == QLatin1String("true")) {
        value = true;
        return true;
    }
    if (t == QLatin1String("0") || t == QLatin1String("no") || t == QLatin1String("off") ||
        t == QLatin1String("false")) {
        value = false;
        return true;
    }
    return false;
}

} // namespace

QStringList CliCommands()
{
    return {Ports, Scan, Find, Read, Write, Params, InitMemory, Monitor};
}

QString HalfSecondsText(int halfSeconds)
{
    return halfSeconds % 2 ? QStringLiteral("%1.5").arg(halfSeconds / 2)
                           : QString::number(halfSeconds / 2);
}

bool ParseButtonList(const QString &text, QList<int> &counts, QString &error)
{
    counts.clear();
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int count = part.trimmed().toInt(&ok);
        if (!ok || count < 0 || count > 99) {
            error = QStringLiteral("--buttons: \"%1\" is not a button count").arg(part.trimmed());
            return false;
        }
        counts.append(count);
    }
    return true;
}

bool ParseInstallText(const QString &text, QList<StationCount> &stations, QString &error)
{
    stations.clear();
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields =
            line.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        const auto fail = [&](const QString &why) {
            error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return false;
        };
        StationCount station;
        bool ok = false;
        station.serial = fields.at(0).toInt(&ok);
        if (!ok || station.serial <= 0)
            return fail(QStringLiteral("\"%1\" is not a door station serial").arg(fields.at(0)));
        if (fields.size() < 2)
            return fail(QStringLiteral("door station %1 has no button count").arg(station.serial));
        station.count = fields.at(1).toInt(&ok);
        if (!ok || station.count < 0 || station.count > 99)
            return fail(QStringLiteral("\"%1\" is not a button count").arg(fields.at(1)));
        for (const QString &flag : fields.mid(2)) {
            if (flag.compare(QLatin1String("video"), Qt::CaseInsensitive) == 0)
                station.video = true;
            else if (flag.compare(QLatin1String("Korvel"), Qt::CaseInsensitive) == 0)
                station.series = QStringLiteral("Korvel");
            else if (flag.compare(QLatin1String("Pentry"), Qt::CaseInsensitive) == 0)
                station.series = QStringLiteral("Pentry");
            else
                return fail(QStringLiteral("unknown flag \"%1\"").arg(flag));
        }
        for (const StationCount &other : std::as_const(stations)) {
            if (other.serial == station.serial)
                return fail(QStringLiteral("door station %1 twice").arg(station.serial));
        }
        stations.append(station);
    }
    return true;
}

bool ReadInstallFile(const QString &path, QList<StationCount> &stations, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    if (!ParseInstallText(QString::fromLocal8Bit(file.readAll()), stations, error)) {
        error = path + QStringLiteral(", ") + error;
        return false;
    }
    return true;
}

bool ParseParamChanges(const QString &text, ParamChanges &out, QString &error)
{
    out = ParamChanges();
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        const QString value = item.section(QLatin1Char('='), 1).trimmed();
        const auto bad = [&]() {
            error = QStringLiteral("--set: \"%1\" is not a valid setting").arg(item.trimmed());
            return false;
        };
        if (!item.contains(QLatin1Char('=')))
            return bad();
        bool ok = false;
        if (key == ParamKey::AsAddress) {
            const int v = value.toInt(&ok);
            if (!ok || v < 0 || v > 63)
                return bad();
            out.asAddress = v;
        } else if (key == ParamKey::RContactTime) {
            const int v = value.toInt(&ok);
            if (!ok || v < 0 || v > 7)
                return bad();
            out.rContactTime = v;
        } else if (key == ParamKey::IndoorDeviceTime) {
            // Seconds in half steps, as the dialog offers them; the comma
            // separates settings, so the decimal mark is a full stop.
            const double v = value.toDouble(&ok);
            const double halves = v * 2;
            if (!ok || halves < 0 || halves > 15 || halves != double(int(halves)))
                return bad();
            out.indoorDeviceTime = int(halves);
        } else if (key == ParamKey::AsFixed || key == ParamKey::UseAsLight) {
            bool flag = false;
            if (!parseFlag(value, flag))
                return bad();
            (key == ParamKey::AsFixed ? out.asFixed : out.useAsLight) = flag;
        } else {
            error = QStringLiteral("--set: unknown setting \"%1\" (known: %2)")
                        .arg(key, QStringList{ParamKey::AsAddress, ParamKey::AsFixed,
                                              ParamKey::RContactTime, ParamKey::IndoorDeviceTime,
                                              ParamKey::UseAsLight}
                                      .join(QStringLiteral(", ")));
            return false;
        }
    }
    if (!out.any()) {
        error = QStringLiteral("--set: no setting given");
        return false;
    }
    return true;
}

bool ParseCliArgs(const QStringList &args, CliOptions &out, QString &error)
{
    out = CliOptions();
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out.help = true;
        if (!args.isEmpty() && CliCommands().contains(args.first()))
            out.command = args.first();
        return true;
    }
    if (args.isEmpty()) {
        error = QStringLiteral("no subcommand given");
        return false;
    }
    out.command = args.first();
    if (!CliCommands().contains(out.command)) {
        error = QStringLiteral("unknown subcommand \"%1\"").arg(out.command);
        return false;
    }
    const QStringList allowed = CommonOptions + optionsOf(out.command);
    QStringList positional;
    QSet<QString> seen;
    for (int i = 1; i < args.size(); ++i) {
        QString option = args.at(i);
        QString value;
        bool inlineValue = false;
        if (option == QLatin1String("-o"))
            option = QStringLiteral("--output");
        if (!option.startsWith(QLatin1String("--"))) {
            positional.append(option);
            continue;
        }
        if (const int eq = int(option.indexOf(QLatin1Char('='))); eq > 0) {
            value = option.mid(eq + 1);
            option = option.left(eq);
            inlineValue = true;
        }
        if (!allowed.contains(option)) {
            error = QStringLiteral("%1 takes no option %2").arg(out.command, option);
            return false;
        }
        if (seen.contains(option)) {
            error = QStringLiteral("%1 given twice").arg(option);
            return false;
        }
        seen.insert(option);
        if (takesValue(option) && !inlineValue) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(option);
                return false;
            }
            value = args.at(++i);
        } else if (!takesValue(option) && inlineValue) {
            error = QStringLiteral("%1 takes no value").arg(option);
            return false;
        }

        if (option == QLatin1String("--com")) {
            if (!parsePositive(value, 256, out.com)) {
                error = QStringLiteral("--com: \"%1\" is not a port number 1..256").arg(value);
                return false;
            }
        } else if (option == QLatin1String("--seconds")) {
            if (!parsePositive(value, 24 * 3600, out.seconds)) {
                error = QStringLiteral("--seconds: \"%1\" is not a number of seconds").arg(value);
                return false;
            }
        } else if (option == QLatin1String("--serial")) {
            int serial = 0;
            if (!parsePositive(value, 0xFFFFF, serial)) {
                error = QStringLiteral("--serial: \"%1\" is not a door station serial").arg(value);
                return false;
            }
            out.serial = serial;
        } else if (option == QLatin1String("--buttons")) {
            QList<int> counts;
            if (!ParseButtonList(value, counts, error))
                return false;
            out.buttons = counts;
        } else if (option == QLatin1String("--install")) {
            QList<StationCount> stations;
            if (!ReadInstallFile(value, stations, error))
                return false;
            out.install = stations;
        } else if (option == QLatin1String("--set")) {
            ParamChanges changes;
            if (!ParseParamChanges(value, changes, error))
                return false;
            out.set = changes;
        } else if (option == QLatin1String("--ini")) {
            out.iniPath = value;
        } else if (option == QLatin1String("--log")) {
            out.logPath = value;
        } else if (option == QLatin1String("--output")) {
            out.output = value;
        } else if (option == QLatin1String("--verify")) {
            out.verify = true;
        } else if (option == QLatin1String("--yes")) {
            out.yes = true;
        } else if (option == QLatin1String("--json")) {
            out.json = true;
        }
    }

    if (out.command == Write) {
        if (positional.size() != 1) {
            error = positional.isEmpty() ? QStringLiteral("write needs the phone-list file")
                                         : QStringLiteral("write takes one phone-list file");
            return false;
        }
        out.file = positional.first();
    } else if (!positional.isEmpty()) {
        error = QStringLiteral("%1 takes no argument \"%2\"").arg(out.command, positional.first());
        return false;
    }
    if (out.buttons && out.install) {
        error = QStringLiteral("give --buttons or --install, not both");
        return false;
    }
    const bool needsCounts =
        out.command == Read || out.command == Write || out.command == InitMemory;
    if (needsCounts && !out.buttons && !out.install) {
        error =
            QStringLiteral("%1 needs the button counts: --buttons or --install").arg(out.command);
        return false;
    }
    if (out.verify && out.command == Params && !out.set) {
        error = QStringLiteral("--verify applies to params --set only");
        return false;
    }
    return true;
}

QString UsageText(const QString &command)
{
    const QString common = QStringLiteral(
        "Options of every subcommand:\n"
        "  --ini FILE     settings file (default: Korvel.x64.ini beside the program)\n"
        "  --log FILE     write the operation log to FILE instead of standard error\n"
        "  --json         print the result as one JSON object\n"
        "  --help         this help\n");
    const QString com = QStringLiteral(
        "  --com N        COM port of the interface box (default: the last good port of the\n"
        "                 settings file; on Linux KORVEL_COM<N> may name its device)\n");
    const QString counts = QStringLiteral(
        "  --buttons LIST button count of each door station found, in bus order: MAIN first,\n"
        "                 then the EXT stations by order; 0 leaves a door station out\n"
        "  --install FILE one door station per line: serial, button count, optionally\n"
        "                 \"video\" and a series (Korvel, Pentry); 0 buttons leaves it out\n");
    const QString exits = QStringLiteral(
        "Exit codes: 0 done, 1 the operation failed on the bus (time-out, retries used up,\n"
        "verify mismatch), 2 bad usage or bad input, 3 no interface box or door station.\n");

    if (command == Ports)
        return QStringLiteral("Usage: korvel-cli ports [options]\n\n"
                              "Lists the COM ports as the window's port list shows them.\n\n") +
               common;
    if (command == Scan)
        return QStringLiteral("Usage: korvel-cli scan [--com N] [options]\n\n"
                              "Asks the interface box on the port for its model and serial.\n\n") +
               com + common + QLatin1Char('\n') + exits;
    if (command == Find)
        return QStringLiteral(
                   "Usage: korvel-cli find [--com N] [options]\n\n"
                   "Finds the interface box and the door stations on the bus. Prints one line\n"
                   "per door station: serial, MAIN or EXT, series, order, and \"video\" for a\n"
                   "video MAIN.\n\n") +
               com + common + QLatin1Char('\n') + exits;
    if (command == Read)
        return QStringLiteral(
                   "Usage: korvel-cli read [--com N] (--buttons LIST | --install FILE) [-o "
                   "FILE]\n\n"
                   "Finds the door stations and reads the phone serials of every active one\n"
                   "into a phone list.\n\n") +
               com + counts +
               QStringLiteral("  -o, --output FILE  write the phone list to FILE (default: "
                              "standard output)\n") +
               common + QLatin1Char('\n') + exits;
    if (command == Write)
        return QStringLiteral(
                   "Usage: korvel-cli write FILE [--com N] (--buttons LIST | --install FILE)\n"
                   "                  [--verify] [--yes]\n\n"
                   "Finds the door stations and writes the phone list FILE to them; line n is\n"
                   "call button n.\n\n") +
               com + counts +
               QStringLiteral(
                   "  --verify       read every door station back and compare (also on when\n"
                   "                 the settings file has aVerifyWrite=1)\n"
                   "  --yes          answer the window's questions with yes (default: no)\n") +
               common + QLatin1Char('\n') + exits;
    if (command == Params)
        return QStringLiteral(
                   "Usage: korvel-cli params [--com N] [--serial S] [--set KEY=VALUE,...]\n"
                   "                  [--verify]\n\n"
                   "Reads the MAIN's parameter block and prints its five settings:\n"
                   "  as-address   AS address, 0..63\n"
                   "  as-fixed     fixed AS address, 0 or 1\n"
                   "  r-time       R contact time in seconds, 0..7\n"
                   "  device-time  indoor device time in seconds, 0..7.5 in half seconds\n"
                   "  light        use the door opener protocol as light, 0 or 1\n"
                   "With --set the given settings are written over the block read (the other\n"
                   "bits of the block are kept).\n\n") +
               com +
               QStringLiteral("  --serial S     the MAIN door station (default: the MAIN found)\n"
                              "  --set LIST     settings to write, e.g. as-address=5,light=1\n"
                              "  --verify       read the block back after writing and compare\n") +
               common + QLatin1Char('\n') + exits;
    if (command == InitMemory)
        return QStringLiteral(
                   "Usage: korvel-cli init-memory [--com N] (--buttons LIST | --install FILE)\n"
                   "                  [--verify] [--yes]\n\n"
                   "\"Init memory\" for a Pentry MAIN: writes the default parameter block, then\n"
                   "four buttons with the phones 101 to 104.\n\n") +
               com + counts +
               QStringLiteral("  --verify       read back and compare after writing\n"
                              "  --yes          answer the window's questions with yes\n") +
               common + QLatin1Char('\n') + exits;
    if (command == Monitor)
        return QStringLiteral(
                   "Usage: korvel-cli monitor [--com N] [--seconds T]\n\n"
                   "Finds the door stations, then prints every button press the box reports\n"
                   "until T seconds have passed or the program is interrupted (Ctrl-C).\n\n") +
               com +
               QStringLiteral("  --seconds T    stop after T seconds (default: run until "
                              "interrupted)\n") +
               common + QLatin1Char('\n') + exits;
    return QStringLiteral(
               "Usage: korvel-cli SUBCOMMAND [options]\n\n"
               "The bus operations of Korvel from the command line. Log lines go to standard\n"
               "error (or --log FILE), results to standard output.\n\n"
               "Subcommands:\n"
               "  ports        list the COM ports\n"
               "  scan         model and serial of the interface box\n"
               "  find         the door stations on the bus\n"
               "  read         read the phone serials into a phone list\n"
               "  write FILE   write a phone list to the door stations\n"
               "  params       read (or with --set write) the MAIN's parameters\n"
               "  init-memory  \"Init memory\" for a Pentry MAIN\n"
               "  monitor      print the button presses on the bus\n\n"
               "korvel-cli SUBCOMMAND --help describes one.\n\n") +
           common + QLatin1Char('\n') + exits;
}
