#include "seriallink.h"

QByteArray SerialLink::receiveLine()
{
    return m_lines.isEmpty() ? QByteArray() : m_lines.takeFirst();
}

void SerialLink::clearInput()
{
    m_partial.clear();
    m_lines.clear();
    m_undelivered = 0;
}

void SerialLink::feed(const QByteArray &bytes)
{
    if (!m_lineMode) {
        m_lines.append(bytes);
        ++m_undelivered;
    } else {
        m_partial += bytes;
        qsizetype end;
        while ((end = m_partial.indexOf(m_lineEnd)) >= 0) {
            m_lines.append(m_partial.left(end + 1));
            m_partial.remove(0, end + 1);
            ++m_undelivered;
        }
    }
    dispatch();
}

void SerialLink::dispatch()
{
    // A handler that waits with the event loop running may let more bytes
    // arrive; those lines are delivered after it has returned.
    if (m_dispatching)
        return;
    m_dispatching = true;
    while (m_undelivered > 0) {
        --m_undelivered;
        emit dataAvailable();
    }
    m_dispatching = false;
}
