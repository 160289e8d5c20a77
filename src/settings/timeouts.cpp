#include "timeouts.h"

#include "engineclock.h"

#include <QtGlobal>

namespace
{

const QString TSearchArvo = QStringLiteral("TSearchArvo");
const QString TSearchKennung = QStringLiteral("TSearchKennung");
const QString TSelMemReadDevice = QStringLiteral("TSelMemReadDevice");
const QString TSelMemWriteDevice = QStringLiteral("TSelMemWriteDevice");
const QString TReset = QStringLiteral("TReset");
const QString TClosePort = QStringLiteral("TClosePort");
const QString TReadSerials = QStringLiteral("TReadSerials");
const QString TReadSerialsExt = QStringLiteral("TReadSerialsExt");
const QString TReadParams = QStringLiteral("TReadParams");
const QString TWriteSerials = QStringLiteral("TWriteSerials");
const QString TWriteSerialsExt = QStringLiteral("TWriteSerialsExt");
const QString TWriteParams = QStringLiteral("TWriteParams");

const TimeOutKind AllKinds[] = {TimeOutKind::Protokol, TimeOutKind::Read, TimeOutKind::Write};

} // namespace

QStringList TimersTakingTimeOut(TimeOutKind kind, TimeOutOccasion occasion)
{
    const bool apply = occasion == TimeOutOccasion::Apply;
    switch (kind) {
    case TimeOutKind::Protokol:
        return {TSearchArvo,        TSearchKennung, TSelMemReadDevice,
                TSelMemWriteDevice, TReset,         TClosePort};
    case TimeOutKind::Read:
        if (apply)
            return {TReadSerials, TReadParams, TReadSerialsExt};
        return {TReadSerials, TReadSerialsExt};
    case TimeOutKind::Write:
        if (apply)
            return {TWriteSerials, TWriteParams, TWriteSerialsExt};
        return {TWriteSerials};
    }
    return {};
}

QString TimerHoldingTimeOut(TimeOutKind kind)
{
    switch (kind) {
    case TimeOutKind::Protokol:
        return TSearchArvo;
    case TimeOutKind::Read:
        return TReadSerials;
    case TimeOutKind::Write:
        return TWriteSerials;
    }
    return {};
}

int TimeOutOf(const SettingsValues &values, TimeOutKind kind)
{
    switch (kind) {
    case TimeOutKind::Protokol:
        return values.timeOutProtokol;
    case TimeOutKind::Read:
        return values.timeOutRead;
    case TimeOutKind::Write:
        return values.timeOutWrite;
    }
    return DefaultTimeOut;
}

void ApplyTimeOuts(const SettingsValues &values, TimeOutOccasion occasion,
                   const QList<EngineTimer *> &timers)
{
    for (TimeOutKind kind : AllKinds) {
        const QStringList names = TimersTakingTimeOut(kind, occasion);
        for (EngineTimer *timer : timers) {
            if (timer && names.contains(timer->name()))
                timer->setInterval(TimeOutOf(values, kind));
        }
    }
}

void TakeTimeOutsFromTimers(const QList<EngineTimer *> &timers, SettingsValues &values)
{
    for (const EngineTimer *timer : timers) {
        if (!timer)
            continue;
        if (timer->name() == TimerHoldingTimeOut(TimeOutKind::Protokol))
            values.timeOutProtokol = timer->interval();
        else if (timer->name() == TimerHoldingTimeOut(TimeOutKind::Read))
            values.timeOutRead = timer->interval();
        else if (timer->name() == TimerHoldingTimeOut(TimeOutKind::Write))
            values.timeOutWrite = timer->interval();
    }
}

int UsableTimeOut(int ms)
{
    return ms > 0 ? ms : DefaultTimeOut;
}

int ClampTimeOut(int ms)
{
    return qBound(MinTimeOut, ms, MaxTimeOut);
}

int TimeOutPreset(int usbOrSerial)
{
    return usbOrSerial == PortTypeRs232 ? Rs232TimeOut : UsbTimeOut;
}
