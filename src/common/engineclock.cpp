#include "engineclock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

RealClock::RealClock() = default;

RealClock::~RealClock()
{
    for (auto &entry : m_timers)
        delete entry.second;
}

qint64 RealClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

int RealClock::callAfter(int ms, std::function<void()> fn)
{
    const int handle = m_next++;
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [this, handle, fn = std::move(fn)]() {
        auto it = m_timers.find(handle);
        if (it == m_timers.end())
            return;
        it->second->deleteLater();
        m_timers.erase(it);
        fn();
    });
    m_timers[handle] = timer;
    timer->start(qMax(0, ms));
    return handle;
}

void RealClock::cancel(int handle)
{
    auto it = m_timers.find(handle);
    if (it == m_timers.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    m_timers.erase(it);
}

void RealClock::processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void RealClock::wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int FakeClock::callAfter(int ms, std::function<void()> fn)
{
    const int handle = m_next++;
    m_entries[handle] = Entry{m_now + qMax(0, ms), handle, std::move(fn)};
    return handle;
}

void FakeClock::cancel(int handle)
{
    m_entries.erase(handle);
}

bool FakeClock::fireNextDue(qint64 upTo)
{
    // Handles grow with scheduling order, so the first minimum found while
    // walking the map in handle order is the earliest-scheduled one.
    auto best = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->second.deadline <= upTo &&
            (best == m_entries.end() || it->second.deadline < best->second.deadline))
            best = it;
    }
    if (best == m_entries.end())
        return false;
    m_now = qMax(m_now, best->second.deadline);
    auto fn = std::move(best->second.fn);
    m_entries.erase(best);
    fn();
    return true;
}

void FakeClock::processEvents()
{
    while (fireNextDue(m_now)) {
    }
}

void FakeClock::advance(qint64 ms)
{
    const qint64 target = m_now + qMax<qint64>(0, ms);
    while (fireNextDue(target)) {
    }
    // A nested wait inside a handler may already have moved past the target.
    m_now = qMax(m_now, target);
}

bool FakeClock::advanceUntil(const std::function<bool()> &done, qint64 limitMs, qint64 stepMs)
{
    const qint64 end = m_now + limitMs;
    processEvents();
    while (!done()) {
        if (m_now >= end)
            return false;
        advance(qMin(stepMs, end - m_now));
    }
    return true;
}

EngineTimer::EngineTimer(QString name, EngineClock &clock, int intervalMs)
    : m_name(std::move(name)), m_clock(clock), m_interval(intervalMs)
{
}

EngineTimer::~EngineTimer()
{
    if (m_handle)
        m_clock.cancel(m_handle);
}

void EngineTimer::schedule()
{
    if (m_handle)
        m_clock.cancel(m_handle);
    m_handle = 0;
    // An interval of 0 means a stopped timer, as with the platform timers.
    if (m_enabled && m_interval > 0)
        m_handle = m_clock.callAfter(m_interval, [this]() { fire(); });
}

void EngineTimer::setInterval(int ms)
{
    if (ms == m_interval)
        return;
    m_interval = ms;
    schedule();
}

void EngineTimer::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    schedule();
}

void EngineTimer::fire()
{
    m_handle = 0;
    // Re-arm first: a handler that does not disable the timer gets the next tick.
    schedule();
    if (m_handler)
        m_handler();
}
