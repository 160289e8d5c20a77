#pragma once

#include <QString>
#include <functional>
#include <map>

class QTimer;

// Time source of the bus engine. The real clock runs on QTimer and the GUI
// event loop; the fake clock runs on virtual time so that tests can play a
// whole bus sequence in milliseconds and deterministically.
class EngineClock
{
public:
    virtual ~EngineClock() = default;
    virtual qint64 nowMs() const = 0;
    // Calls `fn` once after `ms`; returns a handle for cancel().
    virtual int callAfter(int ms, std::function<void()> fn) = 0;
    virtual void cancel(int handle) = 0;
    // Lets the GUI process pending events.
    virtual void processEvents() = 0;
    // Waits `ms` while pending events keep being processed.
    virtual void wait(int ms) = 0;
};

class RealClock : public EngineClock
{
public:
    RealClock();
    ~RealClock() override;
    qint64 nowMs() const override;
    int callAfter(int ms, std::function<void()> fn) override;
    void cancel(int handle) override;
    void processEvents() override;
    void wait(int ms) override;

private:
    std::map<int, QTimer *> m_timers;
    int m_next = 1;
};

class FakeClock : public EngineClock
{
public:
    qint64 nowMs() const override { return m_now; }
    int callAfter(int ms, std::function<void()> fn) override;
    void cancel(int handle) override;
    void processEvents() override;
    void wait(int ms) override { advance(ms); }

    // Moves virtual time forward by `ms`, firing every due callback in
    // deadline order (ties in the order they were scheduled).
    void advance(qint64 ms);
    // Advances in small steps until `done` holds or `limitMs` has passed;
    // returns whether `done` held.
    bool advanceUntil(const std::function<bool()> &done, qint64 limitMs, qint64 stepMs = 1);
    int pendingCount() const { return int(m_entries.size()); }

private:
    struct Entry {
        qint64 deadline;
        int handle;
        std::function<void()> fn;
    };
    bool fireNextDue(qint64 upTo);

    qint64 m_now = 0;
    int m_next = 1;
    std::map<int, Entry> m_entries;
};

// One-shot timer of the engine, with the semantics the bus sequences rely
// on: enabling a running timer does not restart it, changing the interval of
// a running timer restarts it, and it keeps firing every interval until its
// handler disables it.
class EngineTimer
{
public:
    EngineTimer(QString name, EngineClock &clock, int intervalMs = 1000);
    ~EngineTimer();
    EngineTimer(const EngineTimer &) = delete;
    EngineTimer &operator=(const EngineTimer &) = delete;

    void setHandler(std::function<void()> handler) { m_handler = std::move(handler); }
    const QString &name() const { return m_name; }

    int interval() const { return m_interval; }
    void setInterval(int ms);
    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);
    void start() { setEnabled(true); }
    void stop() { setEnabled(false); }

private:
    void schedule();
    void fire();

    QString m_name;
    EngineClock &m_clock;
    std::function<void()> m_handler;
    int m_interval;
    bool m_enabled = false;
    int m_handle = 0;
};
