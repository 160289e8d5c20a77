// Verify after writing: the door stations just written are read back with
// the read sequence and compared with what was sent. Nothing read here ever
// reaches the phone table.
#include "memoryaccess.h"

#include "frames.h"
#include "hexutil.h"
#include "installationtables.h"
#include "operationlog.h"

void MemoryAccess::startVerify()
{
    EngineState &s = es();
    m_targets = m_writtenTargets;
    if (m_targets.isEmpty() || m_written.size() != m_targets.size()) {
        chainAfterWrite(false);
        return;
    }
    m_verifyOk = true;
    m_verifyWithAbort = !m_targets.first().paramBlock;  // Send serials, not parameters
    int parts = 0;
    for (const MemoryTarget &t : std::as_const(m_targets))
        parts += t.readCommands();
    m_index = 0;
    s.ActiveOperation = BusOperation::Verify;
    s.AbortRequested = false;
    s.RetryCount = 0;
    es().DeviceBookmark = m_tables.tblDeviceSerials().bookmark();
    m_status.setProgressPosition(0);
    m_status.setProgressMaximum(parts);
    if (m_verifyWithAbort)
        m_status.setCaption(BusOperation::SendSerials, QLatin1String(OperationStatus::AbortCaption));
    m_status.elapsed(OperationStatus::Elapsed::Reset);
    m_status.elapsed(OperationStatus::Elapsed::Start);
    m_log.append(QStringLiteral("> Verifying written memory..."));
    gotoTarget();
    UpdateBtnState();
    initBus(Step::InitRead);
}

void MemoryAccess::verifyDataLine(const QString &payload)
{
    if (es().AbortRequested || !takeDataPart(payload))
        return;
    m_status.stepProgress();
    m_received.append(payload);
    if (!deviceReadComplete()) {
        armSupervision(m_engine.TReadSerials);
        return;
    }
    compareDevice();
    if (es().LastPartRequested)
        finishVerify(m_verifyOk);
    else
        armSupervision(m_engine.TReadSerials);
}

void MemoryAccess::compareDevice()
{
    const MemoryTarget &t = target();
    // A Pentry MAIN gets the front of its image written and read.
    const QString written = m_written.at(m_index);
    const QString read = m_received.left(written.size());
    if (!m_partFailed && read.compare(written, Qt::CaseInsensitive) == 0) {
        m_log.append(QStringLiteral("> Verify OK: %1").arg(t.serial));
        return;
    }
    m_verifyOk = false;
    if (m_partFailed || read.size() < written.size()) {
        m_log.append(QStringLiteral("> ERROR: Verify %1: read back %2 of %3 digits; the memory "
                                    "could not be compared.")
                         .arg(t.serial)
                         .arg(m_partFailed ? 0 : read.size())
                         .arg(written.size()));
        return;
    }
    int at = 0;
    while (at < written.size() && written.at(at).toUpper() == read.at(at).toUpper())
        ++at;
    // Named by the two-byte part it lies in, as it was written.
    const int part = at / 4;
    m_log.append(QStringLiteral("> ERROR: Verify %1: address %2 written %3, read %4")
                     .arg(t.serial)
                     .arg(IntToHexText(t.firstRead + quint32(part * 2)))
                     .arg(written.mid(part * 4, 4), read.mid(part * 4, 4)));
}

void MemoryAccess::finishVerify(bool ok)
{
    EngineState &s = es();
    stopSupervision();
    s.AbortRequested = true;
    m_engine.TReadSerials.stop();
    m_engine.TReadParams.stop();
    m_engine.TReadSerialsExt.stop();
    m_engine.TSelMemReadDevice.stop();
    s.ActiveOperation = BusOperation::None;
    s.BusStep = Step::Idle;
    s.AckPending = false;
    m_status.setCaption(BusOperation::SendSerials, OperationStatus::idleCaption(BusOperation::SendSerials));
    m_status.setProgressPosition(0);
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    m_tables.tblDeviceSerials().gotoBookmark(s.DeviceBookmark);
    UpdateBtnState();
    emit operationFinished(BusOperation::Verify, ok);
    chainAfterWrite(ok);
}
