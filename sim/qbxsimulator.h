#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

namespace sim {

// What the simulated interface box is.
struct BoxConfig {
    enum class Mode { KDI3300, KDI3310, Absent, Silent };
    Mode mode = Mode::KDI3300;
    quint32 serial = 0xABCD;

    // "KDI3300:43981", "KDI3310:109517", "absent", "silent"; false when not understood.
    static bool parse(const QString &text, BoxConfig &out);
};

enum class Command { SearchInterface, InitBus, SearchDevice, CheckSeriesType, SelMemAccess,
                     ReadLocation, WriteData, ResetDevice, Unknown };

// Faults the simulator can inject into its answers to one kind of command.
struct Fault {
    // Corrupt: a write is acknowledged but one stored byte differs from the
    // one sent (WriteData only).
    enum class Kind { None, Negative, Drop, Delay, Garble, Split, Disconnect, Corrupt };
    Kind kind = Kind::None;
    int remaining = -1;  // how many answers it affects; -1 for all
    int delayMs = 0;     // Delay: extra milliseconds
    QString garbleText = QStringLiteral("X?7");  // Garble: the payload sent instead
    // Which commands of its kind it affects, counted from 1 since the fault
    // was set: every n-th (0 for each one), or only those listed.
    int every = 0;
    QList<int> only;

    static bool parseKind(const QString &text, Kind &out);
};

// A door station on the bus.
struct Station {
    quint32 serial = 0;
    bool main = true;
    quint32 type = 0xA00;     // device type, three hex digits on the wire
    quint32 version = 0x010;  // version, three hex digits
    bool repeat = false;      // announces itself twice, as some do
    // EEPROM bytes at read addresses 0x8400 to 0x84FF; a MAIN starts with a
    // valid parameter block, every other byte erased (0xFF).
    QByteArray memory;

    Station();
    // "main 74565 type=A08 version=010 repeat params=0040778000010200";
    // false when not understood.
    static bool parse(const QString &line, Station &out, QString *error = nullptr);
    QString describe() const;
};

inline constexpr quint32 MemoryBase = 0x8400;
inline constexpr int MemorySize = 0x100;
// Write commands address the same bytes 0x200 below the read address.
inline constexpr quint32 WriteOffset = 0x200;
// The block a new MAIN holds.
inline constexpr char DefaultParams[] = "0040778000010200";

bool ParseCommandName(const QString &text, Command &out);
QString CommandName(Command command);

// The interface box as seen from the serial line: takes the bytes the PC
// sends, cuts them into frames (SOH ... EOT) and answers each with reply
// lines: SOH, one leading character the receiver discards, payload, EOT.
class QbxSimulator : public QObject
{
    Q_OBJECT
public:
    explicit QbxSimulator(QObject *parent = nullptr);

    void setBox(const BoxConfig &box) { m_box = box; }
    const BoxConfig &box() const { return m_box; }
    void setFault(Command command, const Fault &fault)
    {
        m_faults[command] = fault;
        m_counts[command] = 0;
    }
    void clearFaults() { m_faults.clear(); }
    // Milliseconds between a command and its answer.
    void setReplyDelay(int ms) { m_replyDelay = ms; }

    void addStation(const Station &station) { m_stations.append(station); }
    void clearStations() { m_stations.clear(); }
    const QList<Station> &stations() const { return m_stations; }
    Station *station(quint32 serial);

    // Door-station memories as text, one line per door station: the serial,
    // a blank and 512 hex digits. Loading applies the lines whose serial is
    // on the bus; false (nothing changed) for a line not understood.
    QString memoryText() const;
    bool loadMemoryText(const QString &text, QString *error = nullptr);
    // A door station's memory as lines of 16 bytes with their read address.
    QStringList dump(quint32 serial) const;
    // The door station selected for memory access; 0 for none.
    quint32 selectedSerial() const { return m_selected; }
    // Milliseconds between two announcements after a search.
    void setAnnounceGap(int ms) { m_announceGap = ms; }
    // The first MAIN announcement comes before the box's acknowledgement.
    void setAnnounceBeforeAck(bool on) { m_announceBeforeAck = on; }

    // Reads an installation description: "box ..." and station lines, "#"
    // comments. On failure nothing changes and `error` names the line.
    bool loadInstallation(const QString &text, QString *error = nullptr);

    void receive(const QByteArray &bytes);
    static Command classify(char separator, const QString &body);
    static QByteArray replyLine(const QString &payload);

    // Every frame body received, in order (separator dropped).
    QStringList received;

    // --- Key presses on the bus ---
    // Highest AS address a button can carry.
    static constexpr int MaxAsAddress = 63;
    // A call button that rings phone `serial` (1 to 1048575) at AS address
    // `as`: the box reports the call telegram and then its repeat, as the
    // bus does. False (nothing sent) when a value is out of range.
    bool press(quint32 serial, int as = 0);
    // A light button with AS address `as`: one telegram.
    bool light(int as);
    static QString callTelegram(quint32 serial, int as);
    static QString lightTelegram(int as);
    // --- end of key presses ---

signals:
    // Bytes to put on the line after `delayMs`; a split line comes in several parts.
    void output(const QByteArray &bytes, int delayMs);
    // The simulated cable was pulled.
    void disconnected();
    // A door station was reset after memory access: its memory may have changed.
    void memoryReleased();

private:
    void handleFrame(const QByteArray &frame);
    // Sends `payload` after the reply delay plus `extraDelay`, through the
    // fault set for `command`.
    void answer(Command command, const QString &payload, int extraDelay = 0);
    // The fault to apply to this command, counting it.
    Fault takeFault(Command command);
    void emitLine(const QString &payload, const Fault &fault, int extraDelay);
    QString readMemory(quint32 address);
    QString writeMemory(quint32 address, const QString &digits, bool corrupt);
    void announce(int delay);
    const Station *stationBySerial(quint32 serial) const;

    BoxConfig m_box;
    QMap<Command, Fault> m_faults;
    QMap<Command, int> m_counts;
    quint32 m_selected = 0;
    QByteArray m_pending;
    int m_replyDelay = 5;
    QList<Station> m_stations;
    enum class Stage { None, Main, Ext } m_stage = Stage::None;
    int m_announceGap = 20;
    bool m_announceBeforeAck = false;
};

} // namespace sim
