#pragma once

#include "engineclock.h"

#include <QObject>
#include <QStringList>
#include <functional>

class OperationLog;
class SerialLink;

// Opens `link` on port `port` in line mode with line end EOT; logs
// "Port COM<n> is opened". An open link is closed first, with a pause that
// keeps the GUI responsive.
bool OpenDPXPort(SerialLink &link, int port, OperationLog &log, EngineClock &clock);

// The port number shown in the port list for a scan or a search. "offline"
// is refused with its log line; "refresh" (no number) silently.
bool ChosenPortNumber(const QString &entry, OperationLog &log, int &number);

// The start-up line that names the timing mode for a protocol time-out;
// empty for a value outside both ranges.
QString TimingModeLine(int protocolTimeoutMs);

// The port list, the two serial links and the search for the interface box.
class InterfaceScan : public QObject
{
    Q_OBJECT
public:
    enum class Button { ScanPort, FindDevices, SendSerials };

    static inline const QString Offline = QStringLiteral("offline");
    static inline const QString Refresh = QStringLiteral("refresh");

    InterfaceScan(OperationLog &log, SerialLink &port, SerialLink &scanPort, EngineClock &clock,
                  QObject *parent = nullptr);

    // Settings side of the last good port.
    void setLastPortStore(std::function<int()> load, std::function<void(int)> save);

    // Port list `cbPort`: port numbers as decimal text, then "offline" and "refresh".
    const QStringList &entries() const { return m_entries; }
    int currentIndex() const { return m_current; }
    QString currentText() const;
    // Shows an entry without choosing it (no cbPortSelect), as the list widget does.
    void setCurrentIndex(int index);

    void cbPortDropDown();
    void cbPortSelect(int index);
    void btnScanPortClick();
    void ScanPortDataAvailable();

    bool interfaceFound() const { return m_interfaceFound; }
    // Model ("KDI3300" or "KDI3310") and decimal serial number of the box the
    // last scan found; empty when it found none.
    const QString &interfaceModel() const { return m_model; }
    const QString &interfaceSerial() const { return m_serial; }
    EngineTimer &timeOutScan() { return TTimeOutScan; }
    EngineTimer &closePortTimer() { return TClosePort; }

signals:
    void portListChanged();
    void buttonEnabled(InterfaceScan::Button button, bool enabled);
    // The window recomputes its button states.
    void buttonStatesChanged();

private:
    void TTimeOutScanTimer();
    void TClosePortTimer();
    void fillPortList();
    void closeBusPortForSelect();
    void onPortFailed(SerialLink &link, const QString &message);

    OperationLog &m_log;
    SerialLink &m_port;
    SerialLink &m_scanPort;
    EngineClock &m_clock;
    EngineTimer TTimeOutScan;
    EngineTimer TClosePort;
    std::function<int()> m_loadLastPort;
    std::function<void(int)> m_saveLastPort;
    QStringList m_entries;
    int m_current = -1;
    bool m_interfaceFound = false;
    QString m_model;
    QString m_serial;
};
