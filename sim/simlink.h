#pragma once

#include "engineclock.h"
#include "qbxsimulator.h"
#include "seriallink.h"

#include <QSet>

namespace sim {

// A serial link wired in-process to a simulator, with replies delivered on
// the engine clock, so tests can run bus sequences on virtual time.
class SimLink : public SerialLink
{
    Q_OBJECT
public:
    SimLink(QbxSimulator &simulator, EngineClock &clock, QObject *parent = nullptr);

    // Ports that exist, and which of them can be opened (the others are busy).
    void setPorts(const QList<int> &existing, const QList<int> &accessible);
    // Which port the simulator's box sits on; other ports stay silent.
    void setSimulatorPort(int port) { m_simPort = port; }
    // A close that fails this many times before it succeeds.
    void failNextCloses(int count) { m_failCloses = count; }

    bool isAccessible() override;
    bool open() override;
    bool close() override;
    bool isOpen() const override { return m_open; }
    bool send(const QByteArray &bytes) override;
    QList<int> existingPorts() override { return m_existing; }

    // Puts bytes on the line as if something on the bus had sent them.
    void inject(const QByteArray &bytes) { feed(bytes); }

    QList<QByteArray> sent;

private:
    QbxSimulator &m_sim;
    EngineClock &m_clock;
    QList<int> m_existing;
    QSet<int> m_accessible;
    int m_simPort = 0;
    bool m_open = false;
    int m_failCloses = 0;
    int m_generation = 0;
};

} // namespace sim
