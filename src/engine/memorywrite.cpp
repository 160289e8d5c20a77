// Send serials and the parameter write: stop-and-wait writes of two bytes
// each, consuming the images from the front, and the reset that ends them.
#include "memoryaccess.h"

#include "frames.h"
#include "hexutil.h"
#include "installationtables.h"
#include "operationlog.h"
#include "paramblock.h"
#include "phoneserialcodec.h"
#include "seriallink.h"

void MemoryAccess::startSendSerials()
{
    qint32 total = 0;
    if (m_tables.CheckDataError(total) || !planActiveDevices(true) ||
        !m_tables.confirmSendLength(total))
        return;
    EngineState &s = es();
    restrictDeviceTable();
    int parts = 0;
    for (const MemoryTarget &t : std::as_const(m_targets))
        parts += t.writeCommands();
    m_status.setProgressPosition(0);
    m_status.setProgressMaximum(parts);
    s.ActiveOperation = BusOperation::SendSerials;
    s.AbortRequested = false;
    m_status.setCaption(BusOperation::SendSerials, QLatin1String(OperationStatus::AbortCaption));
    s.RetryCount = 0;
    EncodePhoneSerials(m_tables.tblDeviceSerials(), m_tables.tblPhoneSerials(), MainImage, ExtImage,
                       m_log);

    // What each door station gets, cut from the images now: a door station
    // never takes digits that belong to another.
    m_written.clear();
    int extAt = 0;
    for (const MemoryTarget &t : std::as_const(m_targets)) {
        const int chars = t.writeCommands() * 4;
        const QString &image = t.deviceType == 0 ? MainImage : ExtImage;
        const int at = t.deviceType == 0 ? 0 : extAt;
        if (t.deviceType == 1)
            extAt += chars;
        if (image.size() < at + chars || !IsHexText(image.mid(at, chars))) {
            m_log.append(QStringLiteral("> ERROR: No complete memory image for door station %1. "
                                        "Nothing was sent.")
                             .arg(t.serial));
            abortSendSerials();
            es().AbortRequested = false;
            return;
        }
        m_written.append(image.mid(at, chars));
    }
    m_writtenTargets = m_targets;
    m_writeFailed = false;
    m_chainSendSerials = false;
    m_writeOperation = BusOperation::SendSerials;

    m_status.elapsed(OperationStatus::Elapsed::Reset);
    m_status.elapsed(OperationStatus::Elapsed::Start);
    m_index = 0;
    gotoTarget();
    UpdateBtnState();
    initBus(Step::InitWrite);
}

void MemoryAccess::abortSendSerials()
{
    EngineState &s = es();
    s.AbortRequested = true;
    stopStepTimers();
    s.ActiveOperation = BusOperation::None;
    m_status.setCaption(BusOperation::SendSerials, OperationStatus::idleCaption(BusOperation::SendSerials));
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    m_status.setProgressPosition(0);
    restoreDeviceTable();
    stopSupervision();
    m_writeFailed = true;
    UpdateBtnState();
}

void MemoryAccess::startParamWrite()
{
    EngineState &s = es();
    DeviceTable &devices = m_tables.tblDeviceSerials();
    if (busy() || m_engine.searchRunning() || !devices.hasCurrent() || !devices.isMain())
        return;
    if (!IsParamBlock(s.ParamImage)) {
        // Only a whole block of 16 digits may reach the door station.
        m_log.append(QStringLiteral("> ERROR: Parameter block [") + s.ParamImage +
                     QStringLiteral("] is not valid! Nothing was sent."));
        s.InitMemoryMode = false;
        return;
    }
    m_targets = {ParamBlockTarget(devices.intValue(DeviceTable::SerialNo).value_or(0))};
    m_targets.first().row = devices.bookmark();
    m_index = 0;
    m_written = {s.ParamImage};
    m_writtenTargets = m_targets;
    m_writeFailed = false;
    m_chainSendSerials = false;
    m_writeOperation = BusOperation::WriteParams;

    s.ActiveOperation = BusOperation::WriteParams;
    s.AbortRequested = false;
    s.RetryCount = 0;
    m_status.setProgressPosition(0);
    m_status.setProgressMaximum(target().writeCommands());
    m_status.elapsed(OperationStatus::Elapsed::Reset);
    m_status.elapsed(OperationStatus::Elapsed::Start);
    UpdateBtnState();
    initBus(Step::InitWrite);
}

QString &MemoryAccess::imageOf(const MemoryTarget &t)
{
    if (es().ActiveOperation == BusOperation::WriteParams || m_writeOperation == BusOperation::WriteParams)
        return es().ParamImage;
    return t.deviceType == 0 ? MainImage : ExtImage;
}

void MemoryAccess::writeAcknowledgement(int step, bool positive)
{
    EngineState &s = es();
    switch (step) {
    case Step::InitWrite:
        initAcknowledged(positive, m_engine.TSelMemWriteDevice);
        return;
    case Step::SerialsStep:
        if (positive) {
            s.RetryCount = 0;
            m_log.append(QStringLiteral("> Response to SelMemAccess OK!"));
            const bool params = m_writeOperation == BusOperation::WriteParams;
            m_log.append(params ? QStringLiteral("> Preparing to write parameters...")
                                : QStringLiteral("> Preparing to write phone serials..."));
            if (!s.AbortRequested)
                (params ? m_engine.TWriteParams : m_engine.TWriteSerials).start();
            return;
        }
        selectRefused(m_engine.TSelMemWriteDevice);
        return;
    case Step::DataStep:
        if (positive)
            writeAcknowledged(m_engine.TWriteSerials);
        else
            writeRefused(m_engine.TWriteSerials);
        return;
    case Step::WriteParams:
        if (positive)
            writeAcknowledged(m_engine.TWriteParams);
        else
            writeRefused(m_engine.TWriteParams);
        return;
    default:
        return;
    }
}

void MemoryAccess::writeAcknowledged(EngineTimer &partTimer)
{
    EngineState &s = es();
    if (m_targets.isEmpty())
        return;
    QString &image = imageOf(target());
    m_log.append(QStringLiteral("> Response to WriteData OK!, Part: ") + image.left(4));
    image.remove(0, 4);
    s.MemAddress += 2;
    m_status.stepProgress();
    if (s.AbortRequested) {
        m_engine.TReset.start();
        return;
    }
    if (s.MemAddress <= target().lastWrite) {
        partTimer.start();
        if (busy())
            armSupervision(partTimer);
        return;
    }
    // The door station is done.
    partTimer.stop();
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    if (m_writeOperation == BusOperation::WriteParams) {
        stopSupervision();
        m_engine.TReset.start();
        if (s.InitMemoryMode) {
            DeviceTable &devices = m_tables.tblDeviceSerials();
            PhoneTable &phones = m_tables.tblPhoneSerials();
            devices.gotoBookmark(target().row);
            SetFieldValue(devices, DeviceTable::DeviceKeyNo, 4);
            m_tables.clearPhoneTable();
            for (qint32 id = 1; id <= 4; ++id)
                phones.appendRow(id, 100 + id, std::nullopt);
            m_chainSendSerials = true;
        }
        return;
    }
    if (m_index + 1 < m_targets.size()) {
        ++m_index;
        gotoTarget();
        m_engine.TWriteSerialsExt.start();
    } else {
        stopSupervision();
        m_engine.TReset.start();
    }
}

void MemoryAccess::writeRefused(EngineTimer &partTimer)
{
    EngineState &s = es();
    m_log.append(QStringLiteral("> Response to WriteData Failed!"));
    if (s.RetryCount < 3) {
        ++s.RetryCount;
        if (!s.AbortRequested) {
            partTimer.start();
            if (busy())
                armSupervision(partTimer);
        }
        return;
    }
    if (!m_targets.isEmpty())
        m_log.append(QStringLiteral("> ERROR: Door station %1 refused the write at address %2 "
                                    "four times; its memory may be incomplete.")
                         .arg(target().serial)
                         .arg(IntToHexText(s.MemAddress)));
    m_writeFailed = true;
    stopSupervision();
    m_engine.TReset.start();
}

void MemoryAccess::TSelMemWriteDeviceTimer()
{
    EngineState &s = es();
    m_engine.TSelMemWriteDevice.stop();
    if (m_targets.isEmpty())
        return;
    s.BusStep = Step::SerialsStep;
    s.AckPending = true;
    s.MemAddress = target().firstWrite;
    if (sendSelect() && busy())
        armSupervision(m_engine.TSelMemWriteDevice);
}

void MemoryAccess::sendWritePart(EngineTimer &timer, int step)
{
    EngineState &s = es();
    timer.stop();
    if (m_targets.isEmpty())
        return;
    const QString digits = imageOf(target()).left(4);
    if (digits.size() != 4) {
        // Never pad or borrow: the image is used up.
        failWrite(QStringLiteral("> ERROR: The memory image for door station %1 ended early; "
                                 "its memory may be incomplete.")
                      .arg(target().serial));
        return;
    }
    s.BusStep = step;
    s.AckPending = true;
    if (sent(SendWriteData(m_log, m_port, s.MemAddress, digits)) && busy())
        armSupervision(timer);
}

void MemoryAccess::TWriteSerialsTimer()
{
    sendWritePart(m_engine.TWriteSerials, Step::DataStep);
}

void MemoryAccess::TWriteParamsTimer()
{
    sendWritePart(m_engine.TWriteParams, Step::WriteParams);
}

void MemoryAccess::TWriteSerialsExtTimer()
{
    m_engine.TWriteSerialsExt.stop();
    m_status.elapsed(OperationStatus::Elapsed::Start);
    initBus(Step::InitWrite);
}

void MemoryAccess::failWrite(const QString &error)
{
    m_log.append(error);
    es().AbortRequested = true;
    m_writeFailed = true;
    stopSupervision();
    m_engine.TReset.start();
}

void MemoryAccess::TResetTimer()
{
    EngineState &s = es();
    s.BusStep = Step::Idle;
    if (m_port.isOpen())
        SendResetDevice(m_log, m_port);
    endWrite(!m_writeFailed && !s.AbortRequested);
}

void MemoryAccess::endWrite(bool ok)
{
    EngineState &s = es();
    s.BusStep = Step::Idle;
    s.AckPending = false;
    m_status.setProgressPosition(0);
    m_status.elapsed(OperationStatus::Elapsed::Stop);
    m_engine.TReset.stop();
    m_engine.TTimeOutSend.stop();
    m_engine.TWriteSerials.stop();
    m_engine.TWriteParams.stop();
    m_engine.TWriteSerialsExt.stop();
    m_engine.TSelMemWriteDevice.stop();
    stopSupervision();
    m_status.setCaption(BusOperation::SendSerials, OperationStatus::idleCaption(BusOperation::SendSerials));
    restoreDeviceTable();
    const BusOperation finished = m_writeOperation;
    s.ActiveOperation = BusOperation::None;
    m_writeOperation = BusOperation::None;
    UpdateBtnState();

    if (s.InitMemoryMode) {
        s.InitMemoryMode = false;
        if (!ok || !m_chainSendSerials) {
            m_chainSendSerials = false;
            m_log.append(QStringLiteral("> Init memory did not complete; Send serials is not "
                                       "started."));
        }
    } else {
        m_chainSendSerials = false;
    }
    if (finished != BusOperation::None)
        emit operationFinished(finished, ok);
    if (ok && finished != BusOperation::None && m_verifyOn && m_verifyOn()) {
        startVerify();
        return;
    }
    chainAfterWrite(ok);
}

void MemoryAccess::chainAfterWrite(bool ok)
{
    const bool chain = ok && m_chainSendSerials;
    m_chainSendSerials = false;
    if (chain)
        btnSendSNClick();
}
