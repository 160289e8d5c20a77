// Read serials and the parameter read: select a door station's memory and
// read it four bytes per command, paced by the read timers.
#include "memoryaccess.h"

#include "frames.h"
#include "installationtables.h"
#include "operationlog.h"
#include "phoneserialcodec.h"
#include "seriallink.h"

void MemoryAccess::startReadSerials()
{
    qint32 total = 0;
    if (m_tables.CheckDataError(total) || !planActiveDevices(false))
        return;
    EngineState &s = es();
    MainImage.clear();
    ExtImage.clear();
    s.RetryCount = 0;
    m_readFailures.clear();
    restrictDeviceTable();
    int parts = 0;
    for (const MemoryTarget &t : std::as_const(m_targets))
        parts += t.readCommands();
    m_status.setProgressPosition(0);
    m_status.setProgressMaximum(parts);
    m_index = 0;
    gotoTarget();
    s.ActiveOperation = BusOperation::ReadSerials;
    s.AbortRequested = false;
    m_status.setCaption(BusOperation::ReadSerials, QLatin1String(OperationStatus::AbortCaption));
    m_status.elapsed(OperationStatus::Elapsed::Reset);
    m_status.elapsed(OperationStatus::Elapsed::Start);
    UpdateBtnState();
    initBus(Step::InitRead);
}

void MemoryAccess::abortReadSerials()
{
    EngineState &s = es();
    restoreDeviceTable();
    s.ActiveOperation = BusOperation::None;
    s.AbortRequested = true;
    m_status.setCaption(BusOperation::ReadSerials, OperationStatus::idleCaption(BusOperation::ReadSerials));
    stopStepTimers();
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    m_status.setProgressPosition(0);
    stopSupervision();
    UpdateBtnState();
}

void MemoryAccess::startParamRead()
{
    DeviceTable &devices = m_tables.tblDeviceSerials();
    if (!devices.hasCurrent() || !devices.isMain())
        return;
    EngineState &s = es();
    m_targets = {ParamBlockTarget(devices.intValue(DeviceTable::SerialNo).value_or(0))};
    m_targets.first().row = devices.bookmark();
    m_index = 0;
    s.ActiveOperation = BusOperation::ReadParams;
    s.ParamImage.clear();
    s.AbortRequested = false;
    m_status.setProgressPosition(0);
    m_status.setProgressMaximum(target().readCommands());
    m_status.setCaption(BusOperation::ReadParams, QLatin1String(OperationStatus::AbortCaption));
    s.RetryCount = 0;
    m_status.elapsed(OperationStatus::Elapsed::Reset);
    m_status.elapsed(OperationStatus::Elapsed::Start);
    UpdateBtnState();
    initBus(Step::InitRead);
}

void MemoryAccess::abortParamRead()
{
    EngineState &s = es();
    s.ActiveOperation = BusOperation::None;
    s.AbortRequested = true;
    m_status.setCaption(BusOperation::ReadParams, OperationStatus::idleCaption(BusOperation::ReadParams));
    stopStepTimers();
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    m_status.setProgressPosition(0);
    stopSupervision();
    UpdateBtnState();
}

void MemoryAccess::readAcknowledgement(int step, bool positive)
{
    EngineState &s = es();
    if (step == Step::InitRead) {
        initAcknowledged(positive, m_engine.TSelMemReadDevice);
        return;
    }
    if (positive) {
        m_log.append(QStringLiteral("> Response to SelMemAccess OK!"));
        s.RetryCount = 0;
        const bool params = !m_targets.isEmpty() && target().paramBlock;
        m_log.append(params ? QStringLiteral("> Preparing to read parameters...")
                            : QStringLiteral("> Preparing to read Phone serials..."));
        if (!s.AbortRequested) {
            (params ? m_engine.TReadParams : m_engine.TReadSerials).start();
            armSupervision(m_engine.TReadSerials);
        }
        return;
    }
    selectRefused(m_engine.TSelMemReadDevice);
}

void MemoryAccess::TSelMemReadDeviceTimer()
{
    EngineState &s = es();
    m_engine.TSelMemReadDevice.stop();
    if (m_targets.isEmpty())
        return;
    s.LastPartRequested = false;
    s.BusStep = Step::SelMemRead;
    s.AckPending = true;
    s.MemAddress = target().firstRead;
    m_readsSent = 0;
    m_partsReceived = 0;
    m_deviceReadsSent = false;
    m_partFailed = false;
    m_received.clear();
    if (sendSelect() && busy())
        armSupervision(m_engine.TSelMemReadDevice);
}

void MemoryAccess::sendReadPart(EngineTimer &timer, int step)
{
    EngineState &s = es();
    s.BusStep = step;
    if (!sent(SendReadLocation(m_log, m_port, s.MemAddress)))
        return;
    s.MemAddress += 4;
    ++m_readsSent;
    if (busy())
        armSupervision(timer);
    if (s.MemAddress <= target().lastRead)
        return;
    // The door station's last command is out.
    timer.stop();
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    m_deviceReadsSent = true;
    if (m_index + 1 < m_targets.size()) {
        m_tables.tblDeviceSerials().gotoBookmark(m_targets.at(m_index + 1).row);
        m_engine.TReadSerialsExt.start();
    } else {
        s.LastPartRequested = true;
    }
}

void MemoryAccess::TReadSerialsTimer()
{
    sendReadPart(m_engine.TReadSerials, Step::SerialsStep);
}

void MemoryAccess::TReadParamsTimer()
{
    sendReadPart(m_engine.TReadParams, Step::DataStep);
}

void MemoryAccess::TReadSerialsExtTimer()
{
    // The previous door station's last replies come first: a reply taken
    // for the next initialisation's acknowledgement would be lost.
    if (m_partsReceived < m_readsSent)
        return;
    m_engine.TReadSerialsExt.stop();
    if (es().AbortRequested)
        return;
    if (!verifying())
        checkDeviceImage();
    ++m_index;
    m_status.elapsed(OperationStatus::Elapsed::Start);
    initBus(Step::InitRead);
}

void MemoryAccess::checkDeviceImage()
{
    // Every part, valid and of full length: otherwise the images would put
    // buttons in the wrong places.
    if (m_partFailed || m_received.size() != target().imageChars())
        m_readFailures.append(target().serial);
}

void MemoryAccess::serialDataLine(const QString &payload)
{
    EngineState &s = es();
    if (s.AbortRequested || !takeDataPart(payload))
        return;
    m_status.stepProgress();
    (target().deviceType == 0 ? MainImage : ExtImage).append(payload);
    m_received.append(payload);
    m_log.append(QStringLiteral("> Received data part(%1): ").arg(m_status.progressPosition()) +
                 payload);
    afterDataPart();
}

void MemoryAccess::paramDataLine(const QString &payload)
{
    EngineState &s = es();
    if (s.AbortRequested || !takeDataPart(payload))
        return;
    m_status.stepProgress();
    s.ParamImage.append(payload);
    m_log.append(QStringLiteral("> Received param part(%1): ").arg(m_status.progressPosition()) +
                 payload);
    afterDataPart();
}

void MemoryAccess::afterDataPart()
{
    if (!(es().LastPartRequested && deviceReadComplete())) {
        if (busy())
            armSupervision(m_engine.TReadSerials);
        return;
    }
    if (es().ActiveOperation == BusOperation::ReadSerials)
        finishReadSerials();
    else
        finishParamRead();
}

void MemoryAccess::finishReadSerials()
{
    EngineState &s = es();
    stopSupervision();
    checkDeviceImage();
    if (m_readFailures.isEmpty()) {
        DecodePhoneSerials(m_tables.tblDeviceSerials(), m_tables.tblPhoneSerials(), MainImage,
                           ExtImage, m_log);
        // The grid shows the list from its first button, not from the last row added.
        m_tables.tblPhoneSerials().first();
    }
    m_status.setCaption(BusOperation::ReadSerials, OperationStatus::idleCaption(BusOperation::ReadSerials));
    s.ActiveOperation = BusOperation::None;
    m_status.setProgressPosition(0);
    s.BusStep = Step::Idle;
    if (m_readFailures.isEmpty()) {
        m_log.append(QStringLiteral("Serials writed in read column!"));
    } else {
        QStringList serials;
        for (qint32 serial : std::as_const(m_readFailures))
            serials << QString::number(serial);
        m_log.append(QStringLiteral("> ERROR: The memory of door station %1 was not read "
                                    "completely. The phone table is unchanged.")
                         .arg(serials.join(QStringLiteral(", "))));
    }
    restoreDeviceTable();
    UpdateBtnState();
    emit operationFinished(BusOperation::ReadSerials, m_readFailures.isEmpty());
}

void MemoryAccess::finishParamRead()
{
    EngineState &s = es();
    stopSupervision();
    const bool whole = !m_partFailed && s.ParamImage.size() == 16;
    if (whole)
        m_log.append(QStringLiteral("Received all parameters!"));
    else
        m_log.append(QStringLiteral("> ERROR: wrong length in parameters!"));
    m_status.setCaption(BusOperation::ReadParams, OperationStatus::idleCaption(BusOperation::ReadParams));
    s.ActiveOperation = BusOperation::None;
    m_status.setProgressPosition(0);
    s.BusStep = Step::Idle;
    UpdateBtnState();
    emit operationFinished(BusOperation::ReadParams, whole);
    if (!whole)
        return;
    // Shown once the reply handler has returned, so that the modal dialog
    // does not hold the port's next line inside this one.
    m_clock.callAfter(0, [this]() {
        if (m_fillParams && m_fillParams() && m_showParams)
            m_showParams();
    });
}
