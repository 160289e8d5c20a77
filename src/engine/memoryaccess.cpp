#include "memoryaccess.h"

#include "dialogs.h"
#include "frames.h"
#include "hexutil.h"
#include "phoneserialcodec.h"
#include "installationtables.h"
#include "operationlog.h"
#include "seriallink.h"
#include "seriestype.h"

#include <QStringList>

namespace {

// Read addresses of the phone-serial tables and the parameter block.
constexpr quint32 MainSerialsFirst = 0x8408;
constexpr quint32 KorvelMainLast = 0x847C;
constexpr quint32 PentryMainLast = 0x8424;
constexpr quint32 ExtSerialsFirst = 0x8400;
constexpr quint32 ExtSerialsLast = 0x8498;
constexpr quint32 ParamsFirst = 0x8400;
constexpr quint32 ParamsLast = 0x8404;
// Write commands address the same bytes 0x200 lower, two bytes at a time.
constexpr quint32 WriteOffset = 0x200;

MemoryTarget makeTarget(qint32 serial, int deviceType, int seriesCode, quint32 firstRead,
                        quint32 lastRead)
{
    MemoryTarget t;
    t.serial = serial;
    t.deviceType = deviceType;
    t.seriesCode = seriesCode;
    t.firstRead = firstRead;
    t.lastRead = lastRead;
    t.firstWrite = firstRead - WriteOffset;
    // The last read fetches four bytes; the last write stores the last two.
    t.lastWrite = lastRead + 2 - WriteOffset;
    return t;
}

} // namespace

QString OperationStatus::idleCaption(BusOperation button)
{
    switch (button) {
    case BusOperation::ReadSerials:
        return QStringLiteral("Read serials");
    case BusOperation::SendSerials:
        return QStringLiteral("Send serials");
    case BusOperation::ReadParams:
        return QStringLiteral("Parameters");
    default:
        return QString();
    }
}

QString OperationStatus::caption(BusOperation button) const
{
    return m_captions.value(button, idleCaption(button));
}

void OperationStatus::setCaption(BusOperation button, const QString &caption)
{
    if (idleCaption(button).isEmpty() || caption == this->caption(button))
        return;
    m_captions[button] = caption;
    emit captionChanged(button, caption);
}

void OperationStatus::setProgressMaximum(int maximum)
{
    m_maximum = maximum;
    emit progressChanged(m_position, m_maximum);
}

void OperationStatus::setProgressPosition(int position)
{
    m_position = position;
    emit progressChanged(m_position, m_maximum);
}

void OperationStatus::stepProgress()
{
    setProgressPosition(m_position + 1);
}

void OperationStatus::elapsed(Elapsed action)
{
    m_elapsedRunning = action == Elapsed::Start;
    emit elapsedChanged(action);
}

std::optional<MemoryTarget> PhoneSerialTarget(qint32 serial, int deviceType, int seriesCode)
{
    if (deviceType == 1)
        return makeTarget(serial, 1, seriesCode, ExtSerialsFirst, ExtSerialsLast);
    if (deviceType != 0)
        return std::nullopt;
    if (seriesCode == 1)
        return makeTarget(serial, 0, seriesCode, MainSerialsFirst, KorvelMainLast);
    if (seriesCode == 2)
        return makeTarget(serial, 0, seriesCode, MainSerialsFirst, PentryMainLast);
    return std::nullopt;
}

MemoryTarget ParamBlockTarget(qint32 serial)
{
    MemoryTarget t = makeTarget(serial, 0, 0, ParamsFirst, ParamsLast);
    t.paramBlock = true;
    return t;
}

MemoryAccess::MemoryAccess(BusEngine &engine, OperationLog &log, SerialLink &port,
                           InstallationTables &tables, Dialogs &dialogs, EngineClock &clock,
                           QObject *parent)
    : QObject(parent), TMemTimeOut(QStringLiteral("TMemTimeOut"), clock, 3000), m_engine(engine),
      m_log(log), m_port(port), m_tables(tables), m_dialogs(dialogs), m_clock(clock)
{
    engine.setMemoryAckHandler([this](int step, bool positive, const QString &payload) {
        onAcknowledgement(step, positive, payload);
    });
    engine.setMemoryDataHandler(
        [this](int step, const QString &payload) { onDataLine(step, payload); });
    engine.setAbortHook([this](BusOperation operation) { pressAbort(operation); });
    connect(&m_port, &SerialLink::portFailed, this, &MemoryAccess::onPortFailed);

    engine.TSelMemReadDevice.setHandler([this]() { TSelMemReadDeviceTimer(); });
    engine.TReadSerials.setHandler([this]() { TReadSerialsTimer(); });
    engine.TReadSerialsExt.setHandler([this]() { TReadSerialsExtTimer(); });
    engine.TReadParams.setHandler([this]() { TReadParamsTimer(); });
    engine.TSelMemWriteDevice.setHandler([this]() { TSelMemWriteDeviceTimer(); });
    engine.TWriteSerials.setHandler([this]() { TWriteSerialsTimer(); });
    engine.TWriteParams.setHandler([this]() { TWriteParamsTimer(); });
    engine.TWriteSerialsExt.setHandler([this]() { TWriteSerialsExtTimer(); });
    engine.TReset.setHandler([this]() { TResetTimer(); });
    TMemTimeOut.setHandler([this]() { TMemTimeOutTimer(); });
}

bool MemoryAccess::busy() const
{
    switch (es().ActiveOperation) {
    case BusOperation::None:
    case BusOperation::FindDevices:
        return m_engine.TReset.enabled();
    default:
        return true;
    }
}

void MemoryAccess::btnReadSNClick()
{
    if (m_status.showsAbort(BusOperation::ReadSerials))
        abortReadSerials();
    else if (!busy() && !m_engine.searchRunning())
        startReadSerials();
}

void MemoryAccess::btnSendSNClick()
{
    if (m_status.showsAbort(BusOperation::SendSerials)) {
        if (es().ActiveOperation == BusOperation::Verify) {
            m_log.append(QStringLiteral("> Verify aborted"));
            finishVerify(false);
        } else {
            abortSendSerials();
        }
    } else if (!busy() && !m_engine.searchRunning()) {
        startSendSerials();
    }
}

void MemoryAccess::btnParamsClick()
{
    if (m_status.showsAbort(BusOperation::ReadParams))
        abortParamRead();
    else if (!busy() && !m_engine.searchRunning())
        startParamRead();
}

void MemoryAccess::onAcknowledgement(int step, bool positive, const QString &)
{
    if (step == Step::InitRead || step == Step::SelMemRead)
        readAcknowledgement(step, positive);
    else
        writeAcknowledgement(step, positive);
}

void MemoryAccess::onDataLine(int step, const QString &payload)
{
    const BusOperation op = es().ActiveOperation;
    const bool paramTarget = !m_targets.isEmpty() && target().paramBlock;
    if (step == Step::SerialsStep && op == BusOperation::ReadSerials)
        serialDataLine(payload);
    else if (step == Step::DataStep && op == BusOperation::ReadParams)
        paramDataLine(payload);
    else if (op == BusOperation::Verify && (step == Step::DataStep) == paramTarget)
        verifyDataLine(payload);
    else
        m_log.append(QStringLiteral("> Received: ") + payload);
}

bool MemoryAccess::takeDataPart(const QString &payload)
{
    // A line with nothing outstanding belongs to no read of ours.
    if (m_partsReceived >= m_readsSent) {
        m_log.append(QStringLiteral("> Received: ") + payload);
        return false;
    }
    ++m_partsReceived;
    if (IsHexText(payload))
        return true;
    m_log.append(QStringLiteral("> Invalid reply: ") + payload);
    m_partFailed = true;
    return false;
}

bool MemoryAccess::deviceReadComplete() const
{
    return m_deviceReadsSent && m_partsReceived == m_readsSent;
}

void MemoryAccess::pressAbort(BusOperation operation)
{
    // The port could not take a frame: what the button's Abort does, and
    // for the operations without one, the same end without a reset.
    switch (operation) {
    case BusOperation::ReadSerials:
    case BusOperation::SendSerials:
    case BusOperation::ReadParams:
        if (m_status.showsAbort(operation)) {
            if (operation == BusOperation::ReadSerials)
                abortReadSerials();
            else if (operation == BusOperation::SendSerials)
                abortSendSerials();
            else
                abortParamRead();
        }
        break;
    case BusOperation::WriteParams:
        m_log.append(QStringLiteral("> ERROR: Parameters of door station %1 were not written "
                                    "completely.")
                         .arg(m_targets.isEmpty() ? 0 : target().serial));
        endWrite(false);
        break;
    case BusOperation::Verify:
        finishVerify(false);
        break;
    default:
        break;
    }
    stopSupervision();
}

void MemoryAccess::onPortFailed()
{
    if (!busy())
        return;
    const BusOperation op = es().ActiveOperation;
    m_log.append(QStringLiteral("> ERROR: The bus port was lost; the operation is stopped."));
    if (op == BusOperation::SendSerials || op == BusOperation::WriteParams) {
        if (!m_targets.isEmpty())
            m_log.append(QStringLiteral("> ERROR: Memory of door station %1 may be incomplete.")
                             .arg(target().serial));
        // The reset cannot go out on a lost port; the operation ends all the same.
        endWrite(false);
        return;
    }
    pressAbort(op);
    m_engine.TReset.stop();
}

bool MemoryAccess::planActiveDevices(bool write)
{
    m_targets.clear();
    DeviceTable &devices = m_tables.tblDeviceSerials();
    const MemTable::Bookmark here = devices.bookmark();
    const bool filtered = devices.isFiltered();
    devices.setFiltered(true);
    QString refusal;
    for (devices.first(); !devices.eof(); devices.next()) {
        const qint32 serial = devices.intValue(DeviceTable::SerialNo).value_or(0);
        const int type = devices.intValue(DeviceTable::DeviceType).value_or(-1);
        const std::optional<MemoryTarget> t = PhoneSerialTarget(serial, type, devices.seriesCode());
        if (!t) {
            refusal = QStringLiteral("Device %1 (%2, %3) has no known memory layout!\r\n"
                                     "Serials can not be read.")
                          .arg(serial)
                          .arg(DeviceTypeText(type), devices.textValue(DeviceTable::SeriesTypeStr));
            break;
        }
        MemoryTarget target = *t;
        target.row = devices.bookmark();
        m_targets.append(target);
    }
    if (write && refusal.isEmpty())
        refusal = MissingLayoutMessage(devices);
    devices.setFiltered(filtered);
    devices.gotoBookmark(here);
    if (refusal.isEmpty() && !m_targets.isEmpty())
        return true;
    m_targets.clear();
    if (!refusal.isEmpty())
        m_dialogs.error(refusal);
    return false;
}

void MemoryAccess::restrictDeviceTable()
{
    DeviceTable &devices = m_tables.tblDeviceSerials();
    es().DeviceBookmark = devices.bookmark();
    devices.setFiltered(true);
    m_restricted = true;
}

void MemoryAccess::restoreDeviceTable()
{
    if (!m_restricted)
        return;
    m_restricted = false;
    DeviceTable &devices = m_tables.tblDeviceSerials();
    devices.gotoBookmark(es().DeviceBookmark);
    devices.setFiltered(false);
    devices.gotoBookmark(es().DeviceBookmark);
}

void MemoryAccess::gotoTarget()
{
    // The grid follows the door station in work.
    if (!m_targets.isEmpty())
        m_tables.tblDeviceSerials().gotoBookmark(target().row);
}

void MemoryAccess::initBus(int step)
{
    EngineState &s = es();
    s.BusStep = step;
    s.InitCode = target().deviceType == 0 ? Frame::InitMain : Frame::InitExt;
    m_engine.InitQBXBUS(m_port);
    if (busy() && s.AckPending)
        armSupervision(m_engine.TSelMemReadDevice);
}

bool MemoryAccess::sendSelect()
{
    m_log.append(QStringLiteral("> Selecting device for mem access, Page 0..."));
    return sent(SendFrame(m_log, m_port, SelMemAccessFrame(quint32(target().serial))));
}

bool MemoryAccess::sent(bool ok)
{
    if (!ok)
        pressAbort(es().ActiveOperation);
    return ok;
}

void MemoryAccess::armSupervision(const EngineTimer &stepTimer)
{
    // Only the moment is noted: a timer restarted at every step would cost
    // each step a timer of its own.
    m_supervisionMs = qMax(3000, 10 * stepTimer.interval());
    m_lastActivityMs = m_clock.nowMs();
    if (!TMemTimeOut.enabled()) {
        TMemTimeOut.setInterval(m_supervisionMs);
        TMemTimeOut.start();
    }
}

void MemoryAccess::stopSupervision()
{
    TMemTimeOut.stop();
}

void MemoryAccess::stopStepTimers()
{
    for (EngineTimer *timer :
         {&m_engine.TSelMemReadDevice, &m_engine.TSelMemWriteDevice, &m_engine.TReadSerials,
          &m_engine.TReadSerialsExt, &m_engine.TReadParams, &m_engine.TWriteSerials,
          &m_engine.TWriteSerialsExt, &m_engine.TWriteParams})
        timer->stop();
}

void MemoryAccess::waitForAbort(const QString &what)
{
    // An operation with an Abort button waits for the technician; one
    // without would wait for ever.
    stopSupervision();
    switch (es().ActiveOperation) {
    case BusOperation::WriteParams:
        m_log.append(QStringLiteral("> ERROR: ") + what +
                     QStringLiteral(" Parameters of door station %1 were not written.")
                         .arg(target().serial));
        endWrite(false);
        break;
    case BusOperation::Verify:
        m_log.append(QStringLiteral("> ERROR: ") + what +
                     QStringLiteral(" Door station %1 could not be read back.")
                         .arg(target().serial));
        finishVerify(false);
        break;
    default:
        break;
    }
}

void MemoryAccess::initAcknowledged(bool positive, EngineTimer &selectTimer)
{
    if (!positive) {
        m_log.append(QStringLiteral("> Response to InitQBXBUS Failed!"));
        waitForAbort(QStringLiteral("The bus was not initialised."));
        return;
    }
    m_log.append(QStringLiteral("> Response to InitQBXBUS OK!"));
    if (!es().AbortRequested)
        selectTimer.start();
}

void MemoryAccess::selectRefused(EngineTimer &selectTimer)
{
    EngineState &s = es();
    m_log.append(QStringLiteral("> Response to SelMemAccess Failed!"));
    // Three repetitions for the whole door station; a positive select
    // grants them anew.
    if (s.RetryCount < 3) {
        ++s.RetryCount;
        if (!s.AbortRequested)
            selectTimer.start();
        return;
    }
    waitForAbort(QStringLiteral("The door station's memory could not be selected."));
}

void MemoryAccess::TMemTimeOutTimer()
{
    TMemTimeOut.stop();
    const qint64 quiet = m_clock.nowMs() - m_lastActivityMs;
    if (quiet < m_supervisionMs) {
        TMemTimeOut.setInterval(int(m_supervisionMs - quiet));
        TMemTimeOut.start();
        return;
    }
    m_log.append(QStringLiteral(">> Request timed out!"));
    switch (es().ActiveOperation) {
    case BusOperation::ReadSerials:
        abortReadSerials();
        break;
    case BusOperation::ReadParams:
        abortParamRead();
        break;
    case BusOperation::SendSerials:
        abortSendSerials();
        m_writeFailed = true;
        m_engine.TReset.start();
        break;
    case BusOperation::WriteParams:
        es().AbortRequested = true;
        m_writeFailed = true;
        m_engine.TReset.start();
        break;
    case BusOperation::Verify:
        finishVerify(false);
        break;
    default:
        break;
    }
}
