#pragma once

#include "busengine.h"
#include "engineclock.h"
#include "memtable.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Dialogs;
class InstallationTables;
class OperationLog;
class SerialLink;

// What a running memory operation shows: the captions of the buttons that
// start one, the progress bar and the elapsed time. The engine keeps it;
// a front end mirrors it.
class OperationStatus : public QObject
{
    Q_OBJECT
public:
    enum class Elapsed { Reset, Start, Stop };

    // "Read serials", "Send serials", "Parameters"; empty for an operation
    // without a button of its own.
    static QString idleCaption(BusOperation button);
    QString caption(BusOperation button) const;
    void setCaption(BusOperation button, const QString &caption);
    bool showsAbort(BusOperation button) const { return caption(button) == AbortCaption; }

    int progressMaximum() const { return m_maximum; }
    int progressPosition() const { return m_position; }
    void setProgressMaximum(int maximum);
    void setProgressPosition(int position);
    void stepProgress();

    void elapsed(Elapsed action);
    bool elapsedRunning() const { return m_elapsedRunning; }

    static constexpr char AbortCaption[] = "Abort";

signals:
    void captionChanged(BusOperation button, const QString &caption);
    void progressChanged(int position, int maximum);
    void elapsedChanged(OperationStatus::Elapsed action);

private:
    QMap<BusOperation, QString> m_captions;
    int m_maximum = 0;
    int m_position = 0;
    bool m_elapsedRunning = false;
};

// One door station of a memory operation, taken from the device table when
// the operation starts, so that edits in the grid cannot change what a
// running operation reads or writes.
struct MemoryTarget {
    MemTable::Bookmark row = 0;
    qint32 serial = 0;
    int deviceType = 0;  // 0 MAIN, 1 EXT
    int seriesCode = 0;
    bool paramBlock = false;  // the parameter block, not the phone serials
    quint32 firstRead = 0;
    quint32 lastRead = 0;
    quint32 firstWrite = 0;
    quint32 lastWrite = 0;

    int readCommands() const { return int((lastRead - firstRead) / 4 + 1); }
    int writeCommands() const { return int((lastWrite - firstWrite) / 2 + 1); }
    int imageChars() const { return readCommands() * 8; }
};

// The phone-serial range of a door station; nothing for a MAIN of no
// supported series.
std::optional<MemoryTarget> PhoneSerialTarget(qint32 serial, int deviceType, int seriesCode);
// The parameter block in front of a MAIN's phone serials.
MemoryTarget ParamBlockTarget(qint32 serial);

// The four memory operations (Read serials, Send serials, the parameter read
// and the parameter write) with the reset that ends every write and the
// optional read-back after a write. The sequences live in memoryread.cpp,
// memorywrite.cpp and memoryverify.cpp; they share this object's state.
class MemoryAccess : public QObject
{
    Q_OBJECT
public:
    MemoryAccess(BusEngine &engine, OperationLog &log, SerialLink &port, InstallationTables &tables,
                 Dialogs &dialogs, EngineClock &clock, QObject *parent = nullptr);

    OperationStatus &status() { return m_status; }
    EngineState &state() { return m_engine.state(); }

    // Button handlers: each press starts the operation, or aborts it while
    // the button shows "Abort".
    void btnReadSNClick();
    void btnSendSNClick();
    void btnParamsClick();
    // The parameter write for the device table's current row, with
    // `ParamImage` (and `InitMemoryMode` for "Init memory") already set.
    void startParamWrite();

    // True while an operation of this object runs or waits for its end.
    bool busy() const;

    // The parameters dialog: filled from `ParamImage` (false when it cannot
    // be) and shown modally after a parameter read.
    void setParamsDialog(std::function<bool()> fill, std::function<void()> show)
    {
        m_fillParams = std::move(fill);
        m_showParams = std::move(show);
    }
    // "Verify after writing", read at the moment a write ends.
    void setVerifyAfterWrite(std::function<bool()> isOn) { m_verifyOn = std::move(isOn); }

    // The hexadecimal memory images of the phone serials.
    QString MainImage;
    QString ExtImage;

    // Supervises every memory step that waits for a reply.
    EngineTimer TMemTimeOut;

signals:
    // The window recomputes its button states.
    void buttonStatesChanged();
    // A write or read-back ended; `ok` is false when it failed or was aborted.
    void operationFinished(BusOperation operation, bool ok);

private:
    // memoryaccess.cpp: shared steps.
    EngineState &es() { return m_engine.state(); }
    const EngineState &es() const { return m_engine.state(); }
    void onAcknowledgement(int step, bool positive, const QString &payload);
    void onDataLine(int step, const QString &payload);
    void onPortFailed();
    // What the Abort button of `operation` does; an operation without one
    // ends without a reset.
    void pressAbort(BusOperation operation);
    // The active rows in order; false (with its error box) when one has no
    // phone-serial range, or, for a write, no layout.
    bool planActiveDevices(bool write);
    void restrictDeviceTable();
    void restoreDeviceTable();
    MemoryTarget &target() { return m_targets[m_index]; }
    void gotoTarget();
    void initBus(int step);
    bool sendSelect();
    // Ends the operation when the port refused a frame.
    bool sent(bool ok);
    void armSupervision(const EngineTimer &stepTimer);
    void stopSupervision();
    // An aborted operation's next step must not fire into the one started
    // after it.
    void stopStepTimers();
    // After a refusal with no retry left: an operation with an Abort button
    // waits for it, the others end with `why` in an error line.
    void waitForAbort(const QString &why);
    // The initialisation's acknowledgement: on to the select, or wait.
    void initAcknowledged(bool positive, EngineTimer &selectTimer);
    // A refused select: repeated while retries are left, then waitForAbort.
    void selectRefused(EngineTimer &selectTimer);
    void TMemTimeOutTimer();
    // Counts a data line; false when it is not a part to use.
    bool takeDataPart(const QString &payload);
    bool deviceReadComplete() const;
    void UpdateBtnState() { emit buttonStatesChanged(); }

    // memoryread.cpp
    void startReadSerials();
    void abortReadSerials();
    void startParamRead();
    void abortParamRead();
    void readAcknowledgement(int step, bool positive);
    void TSelMemReadDeviceTimer();
    void TReadSerialsTimer();
    void TReadSerialsExtTimer();
    void TReadParamsTimer();
    void sendReadPart(EngineTimer &timer, int step);
    void serialDataLine(const QString &payload);
    void paramDataLine(const QString &payload);
    void afterDataPart();
    void checkDeviceImage();
    void finishReadSerials();
    void finishParamRead();

    // memorywrite.cpp
    void startSendSerials();
    void abortSendSerials();
    void writeAcknowledgement(int step, bool positive);
    void TSelMemWriteDeviceTimer();
    void TWriteSerialsTimer();
    void TWriteParamsTimer();
    void TWriteSerialsExtTimer();
    void TResetTimer();
    void sendWritePart(EngineTimer &timer, int step);
    void writeAcknowledged(EngineTimer &partTimer);
    void writeRefused(EngineTimer &partTimer);
    QString &imageOf(const MemoryTarget &t);
    // Ends a write that cannot go on, with its "> ERROR:" line and the reset.
    void failWrite(const QString &error);
    // The end of every write, after its reset (or without one on a lost port).
    void endWrite(bool ok);
    // "Init memory" goes on with Send serials once its write has held.
    void chainAfterWrite(bool ok);

    // memoryverify.cpp
    void startVerify();
    void verifyDataLine(const QString &payload);
    void compareDevice();
    void finishVerify(bool ok);
    bool verifying() const { return es().ActiveOperation == BusOperation::Verify; }

    BusEngine &m_engine;
    OperationLog &m_log;
    SerialLink &m_port;
    InstallationTables &m_tables;
    Dialogs &m_dialogs;
    EngineClock &m_clock;
    OperationStatus m_status;
    std::function<bool()> m_fillParams;
    std::function<void()> m_showParams;
    std::function<bool()> m_verifyOn;

    // The door stations of the running operation and the one in work.
    QList<MemoryTarget> m_targets;
    int m_index = 0;
    // Of the door station in work: read commands sent, data lines taken,
    // whether its last read is out, whether a part was not valid, and what
    // was received.
    int m_readsSent = 0;
    int m_partsReceived = 0;
    bool m_deviceReadsSent = false;
    bool m_partFailed = false;
    QString m_received;
    // Door stations whose read came back incomplete.
    QList<qint32> m_readFailures;
    // The operation that set the device table's restriction.
    bool m_restricted = false;
    // The write in progress, whether it failed, and what each door station
    // was sent, for the read-back.
    BusOperation m_writeOperation = BusOperation::None;
    bool m_writeFailed = false;
    QStringList m_written;
    QList<MemoryTarget> m_writtenTargets;
    bool m_verifyOk = true;
    bool m_verifyWithAbort = false;
    // Supervision: its length for the current step, and the last time
    // something was sent or received.
    int m_supervisionMs = 3000;
    qint64 m_lastActivityMs = 0;
    // After the write of "Init memory": Send serials follows.
    bool m_chainSendSerials = false;
};
