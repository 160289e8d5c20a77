#include "simlink.h"

namespace sim {

SimLink::SimLink(QbxSimulator &simulator, EngineClock &clock, QObject *parent)
    : SerialLink(parent), m_sim(simulator), m_clock(clock)
{
    connect(&m_sim, &QbxSimulator::output, this, [this](const QByteArray &bytes, int delayMs) {
        if (!m_open || portNumber() != m_simPort)
            return;
        const int generation = m_generation;
        m_clock.callAfter(delayMs, [this, bytes, generation]() {
            // A line on its way when the port closed is lost with the port.
            if (m_open && generation == m_generation)
                feed(bytes);
        });
    });
    connect(&m_sim, &QbxSimulator::disconnected, this, [this]() {
        if (!m_open || portNumber() != m_simPort)
            return;
        // The driver notices a pulled cable a moment later, as a real one does.
        const int generation = m_generation;
        m_clock.callAfter(1, [this, generation]() {
            if (!m_open || generation != m_generation)
                return;
            m_open = false;
            ++m_generation;
            clearInput();
            setLastError(QStringLiteral("device disconnected"));
            emit portFailed(lastError());
        });
    });
}

void SimLink::setPorts(const QList<int> &existing, const QList<int> &accessible)
{
    m_existing = existing;
    m_accessible = QSet<int>(accessible.begin(), accessible.end());
}

bool SimLink::isAccessible()
{
    if (m_open)
        return true;
    if (!m_accessible.contains(portNumber())) {
        setLastError(QStringLiteral("no such port or port busy"));
        return false;
    }
    return true;
}

bool SimLink::open()
{
    if (m_open)
        return true;
    if (!isAccessible())
        return false;
    clearInput();
    m_open = true;
    ++m_generation;
    return true;
}

bool SimLink::close()
{
    if (m_failCloses > 0) {
        --m_failCloses;
        return false;
    }
    m_open = false;
    ++m_generation;
    clearInput();
    return true;
}

bool SimLink::send(const QByteArray &bytes)
{
    if (!m_open) {
        setLastError(QStringLiteral("the port is closed"));
        return false;
    }
    sent.append(bytes);
    if (portNumber() == m_simPort)
        m_sim.receive(bytes);
    return true;
}

} // namespace sim
