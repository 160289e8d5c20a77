#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

// Elapsed time of an operation, counting up as "hh:nn:ss".
class ElapsedTimeDisplay : public QLabel
{
    Q_OBJECT
public:
    explicit ElapsedTimeDisplay(QWidget *parent = nullptr);

    void Start();
    void Stop();
    void Reset();
    bool isRunning() const { return m_running; }
    qint64 elapsedMs() const;

    static QString format(qint64 ms);

private:
    void refresh();

    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_accumulated = 0;
    bool m_running = false;
};
