#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Exit codes of korvel-cli, for scripts.
namespace Exit
{
constexpr int Done = 0;
constexpr int BusFailed = 1; // time-out, retries used up, verify mismatch
constexpr int BadInput = 2;  // bad usage, unreadable file, missing button count, refusal
constexpr int NotFound = 3;  // no interface box, no door station
} // namespace Exit

// One door station of an installation file: its serial, its button count
// (0: not part of the installation) and what the window's grid would set by
// hand.
struct StationCount {
    qint32 serial = 0;
    int count = 0;
    bool video = false;
    QString series; // "Korvel" or "Pentry"; empty keeps what the search found
};

// Changes of the five parameter settings given by `params --set`.
struct ParamChanges {
    std::optional<int> asAddress;
    std::optional<bool> asFixed;
    std::optional<int> rContactTime;
    std::optional<int> indoorDeviceTime; // half seconds
    std::optional<bool> useAsLight;
    bool any() const
    {
        return asAddress || asFixed || rContactTime || indoorDeviceTime || useAsLight;
    }
};

struct CliOptions {
    QString command;
    bool help = false;
    int com = 0;    // 0: the settings' last good port
    QString file;   // write: the phone list
    QString output; // read: -o
    bool verify = false;
    bool yes = false;
    bool json = false;
    QString iniPath; // empty: the window's settings file
    QString logPath;
    std::optional<qint32> serial; // params --serial
    std::optional<ParamChanges> set;
    int seconds = 0; // monitor; 0 runs until interrupted
    std::optional<QList<int>> buttons;
    std::optional<QList<StationCount>> install;
};

// The subcommands, in the order the help lists them.
QStringList CliCommands();

// Parses the arguments after the program name; false with a message for
// bad usage. `--help` anywhere sets `help` and skips further checks.
bool ParseCliArgs(const QStringList &args, CliOptions &out, QString &error);

// Help of the program (empty command) or of one subcommand.
QString UsageText(const QString &command);

// "10,16,0": one count per door station in bus order.
bool ParseButtonList(const QString &text, QList<int> &counts, QString &error);

// One door station per line: serial, button count, then optionally "video"
// and a series ("Korvel", "Pentry"); "#" starts a comment.
bool ParseInstallText(const QString &text, QList<StationCount> &stations, QString &error);
bool ReadInstallFile(const QString &path, QList<StationCount> &stations, QString &error);

// "as-address=5,as-fixed=1,r-time=4,device-time=2.5,light=0".
bool ParseParamChanges(const QString &text, ParamChanges &out, QString &error);

// Keys of the five settings as `params` prints them and `--set` takes them.
namespace ParamKey
{
inline const QString AsAddress = QStringLiteral("as-address");
inline const QString AsFixed = QStringLiteral("as-fixed");
inline const QString RContactTime = QStringLiteral("r-time");
inline const QString IndoorDeviceTime = QStringLiteral("device-time");
inline const QString UseAsLight = QStringLiteral("light");
} // namespace ParamKey

// Half seconds as seconds: 5 gives "2.5", 8 gives "4".
QString HalfSecondsText(int halfSeconds);
