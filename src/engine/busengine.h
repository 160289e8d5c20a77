#pragma once

#include "engineclock.h"
#include "memtable.h"

#include <QObject>
#include <QString>
#include <functional>

class InstallationTables;
class OperationLog;
class SerialLink;

// The running bus operation, named after the button that started it.
// Verify is the read-back that may follow a write.
enum class BusOperation { None, FindDevices, ReadSerials, SendSerials, ReadParams, WriteParams, Verify };

// The engine state every bus operation shares.
struct EngineState {
    int BusStep = 0;
    bool AckPending = false;
    quint32 InitCode = 0;
    int FoundCount = 0;
    QString LastSerial;
    BusOperation ActiveOperation = BusOperation::None;
    bool AbortRequested = false;
    int RetryCount = 0;
    quint32 MemAddress = 0;
    bool LastPartRequested = false;
    bool InitMemoryMode = false;
    MemTable::Bookmark DeviceBookmark = 0;
    // The MAIN's parameter block as 16 hex digits, read or to be written.
    QString ParamImage;
};

// Step codes of `BusStep`.
namespace Step {
constexpr int InitSearch = 0;
constexpr int Search = 1;
constexpr int InitRead = 2;
constexpr int SelMemRead = 3;
constexpr int InitWrite = 4;
constexpr int SerialsStep = 5;   // select before a write, or phone-serial data of a read
constexpr int DataStep = 6;      // phone-serial write, or parameter data of a read
constexpr int WriteParams = 7;
constexpr int SeriesType = 8;
constexpr int Idle = 99;
} // namespace Step

// The timer-driven bus engine: bus initialisation, the device search and
// the dispatcher of every line that arrives on the bus port.
class BusEngine : public QObject
{
    Q_OBJECT
public:
    BusEngine(OperationLog &log, EngineClock &clock, SerialLink &port, InstallationTables &tables,
              QObject *parent = nullptr);

    EngineState &state() { return m_state; }
    const EngineState &state() const { return m_state; }

    // The port list's shown entry, read when Find devices is pressed.
    void setPortTextSource(std::function<QString()> source) { m_portText = std::move(source); }
    // Clicks the button of the active operation when it shows "Abort".
    void setAbortHook(std::function<void(BusOperation)> hook) { m_abortHook = std::move(hook); }

    // Handlers of the memory sequences and the key-press monitor. A line
    // whose handler is not set is dropped.
    using AckHandler = std::function<void(int step, bool positive, const QString &payload)>;
    using LineHandler = std::function<void(int step, const QString &payload)>;
    void setMemoryAckHandler(AckHandler handler) { m_memoryAck = std::move(handler); }
    void setMemoryDataHandler(LineHandler handler) { m_memoryData = std::move(handler); }
    void setTelegramHandler(LineHandler handler) { m_telegram = std::move(handler); }

    void btnFindMAINClick();
    void InitQBXBUS(SerialLink &aCiaCom);
    void PortDataAvailable();

    // True from Find devices until the last type reply, also while the EXT
    // type queries run after the search window closed.
    bool searchRunning() const { return m_searchRunning; }

    EngineTimer TSearchArvo;
    EngineTimer TSearchKennung;
    EngineTimer TSearchExt;
    EngineTimer TTimeOutSend;
    // Supervises a type query: a door station that never answers must not
    // hold the search at step 8 for ever.
    EngineTimer TSeriesTypeTimeOut;

    // Timers of the memory read and write sequences and the reset. They
    // carry their time-outs from the settings; their handlers belong to
    // those sequences.
    EngineTimer TSelMemReadDevice;
    EngineTimer TSelMemWriteDevice;
    EngineTimer TReset;
    EngineTimer TReadSerials;
    EngineTimer TReadSerialsExt;
    EngineTimer TReadParams;
    EngineTimer TWriteSerials;
    EngineTimer TWriteSerialsExt;
    EngineTimer TWriteParams;

    // The engine's timers that take a time-out from the settings, and the
    // search's own fixed ones.
    QList<EngineTimer *> timers();

signals:
    // The window recomputes its button states.
    void buttonStatesChanged();
    void searchRunningChanged(bool running);

private:
    void TSearchArvoTimer();
    void TSearchKennungTimer();
    void TSearchExtTimer();
    void TTimeOutSendTimer();
    void TSeriesTypeTimeOutTimer();

    void handleAcknowledgement(const QString &payload);
    void handleTelegram(const QString &payload);
    void handleAnnouncement(const QString &payload);
    void handleSeriesType(const QString &payload);
    void nextSeriesQuery();
    void abortActiveOperation();
    // Ends a search that cannot go on (port refused a send or went away).
    void endSearch();
    void setSearchRunning(bool running);
    bool send(const QByteArray &frame);

    OperationLog &m_log;
    EngineClock &m_clock;
    SerialLink &m_port;
    InstallationTables &m_tables;
    EngineState m_state;
    std::function<QString()> m_portText;
    std::function<void(BusOperation)> m_abortHook;
    AckHandler m_memoryAck;
    LineHandler m_memoryData;
    LineHandler m_telegram;
    bool m_searchRunning = false;
    // Find devices was pressed and has not yet handed over to the search
    // (the port may be reopening, with events processed meanwhile).
    bool m_findEntered = false;
    // The last type query timed out and the next is not yet sent: a reply
    // arriving now is the late one and must not land on the next door station.
    bool m_typeQueryTimedOut = false;
};

// Announcement form: character 1 is "5" and character 7 is "1".
bool IsAnnouncement(const QString &payload);
