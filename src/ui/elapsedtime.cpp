#include "elapsedtime.h"

ElapsedTimeDisplay::ElapsedTimeDisplay(QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    m_tick.setInterval(250);
    connect(&m_tick, &QTimer::timeout, this, &ElapsedTimeDisplay::refresh);
    refresh();
}

QString ElapsedTimeDisplay::format(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

qint64 ElapsedTimeDisplay::elapsedMs() const
{
    return m_accumulated + (m_running ? m_clock.elapsed() : 0);
}

void ElapsedTimeDisplay::Start()
{
    if (m_running)
        return;
    m_running = true;
    m_clock.start();
    m_tick.start();
    refresh();
}

void ElapsedTimeDisplay::Stop()
{
    if (!m_running)
        return;
    m_accumulated += m_clock.elapsed();
    m_running = false;
    m_tick.stop();
    refresh();
}

void ElapsedTimeDisplay::Reset()
{
    m_accumulated = 0;
    if (m_running)
        m_clock.restart();
    refresh();
}

void ElapsedTimeDisplay::refresh()
{
    setText(format(elapsedMs()));
}
