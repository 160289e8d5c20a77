#pragma once

#include "settingsstore.h"

#include <QList>
#include <QString>
#include <QStringList>

class EngineTimer;

// The three time-outs of the settings file live, while the program runs, as
// the intervals of the bus engine's timers. Which timers take which time-out
// differs between start-up and "Apply settings": at start-up the parameter
// timers and TWriteSerialsExt keep their built-in interval.
enum class TimeOutKind { Protokol, Read, Write };
enum class TimeOutOccasion { Startup, Apply };

constexpr int BuiltInTimerInterval = 300;

// Range of the dialog's time-out fields, and the presets of the port types.
constexpr int MinTimeOut = 200;
constexpr int MaxTimeOut = 999;
constexpr int UsbTimeOut = 300;
constexpr int Rs232TimeOut = 500;

// Names of the engine timers that take the time-out on that occasion.
QStringList TimersTakingTimeOut(TimeOutKind kind, TimeOutOccasion occasion);

// The timer whose interval is the time-out in effect: saved to the file and
// shown in the dialog (TSearchArvo, TReadSerials, TWriteSerials).
QString TimerHoldingTimeOut(TimeOutKind kind);

int TimeOutOf(const SettingsValues &values, TimeOutKind kind);

// Sets the interval of every timer in `timers` that takes a time-out on
// that occasion; other timers are left alone.
void ApplyTimeOuts(const SettingsValues &values, TimeOutOccasion occasion,
                   const QList<EngineTimer *> &timers);

// The time-outs to save: the intervals of the holding timers. A holding
// timer missing from `timers` leaves its value as it is.
void TakeTimeOutsFromTimers(const QList<EngineTimer *> &timers, SettingsValues &values);

// A time-out of zero or less cannot pace the bus; it reads as the default.
int UsableTimeOut(int ms);

// A value shown in or typed into a time-out field is brought into range.
int ClampTimeOut(int ms);

// Choosing a port type in the dialog presets all three time-outs.
int TimeOutPreset(int usbOrSerial);
