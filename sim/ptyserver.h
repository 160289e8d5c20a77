#pragma once

#include "qbxsimulator.h"

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace sim {

// Serves a simulator on a pseudo-terminal, so that the program reaches it
// through its ordinary serial port code.
class PtyServer : public QObject
{
    Q_OBJECT
public:
    explicit PtyServer(QbxSimulator &simulator, QObject *parent = nullptr);
    ~PtyServer() override;

    // Creates the pseudo-terminal; false (and errorString()) on failure.
    bool start();
    // Path of the terminal the program opens as its COM port.
    QString devicePath() const { return m_path; }
    QString errorString() const { return m_error; }
    // Pulls the cable: the terminal goes away under the program.
    void hangUp();

private:
    void readMaster();
    void write(const QByteArray &bytes);

    QbxSimulator &m_sim;
    int m_master = -1;
    int m_slaveKeep = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_path;
    QString m_error;
};

} // namespace sim
