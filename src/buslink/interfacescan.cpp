#include "interfacescan.h"

#include "frames.h"
#include "hexutil.h"
#include "operationlog.h"
#include "seriallink.h"

bool OpenDPXPort(SerialLink &link, int port, OperationLog &log, EngineClock &clock)
{
    if (link.isOpen()) {
        link.close();
        clock.processEvents();
        clock.wait(250);
    }
    link.setPortNumber(port);
    link.setTxBufferSize(4096);
    link.setLineEnd(Frame::EOT);
    link.setLineMode(true);
    if (!link.isAccessible())
        return false;
    const bool opened = link.open();
    if (opened)
        log.append(QStringLiteral("Port COM%1 is opened").arg(port));
    return opened;
}

bool ChosenPortNumber(const QString &entry, OperationLog &log, int &number)
{
    if (entry == InterfaceScan::Offline) {
        log.append(QStringLiteral("ERROR: You are in offline mode!"));
        return false;
    }
    bool isNumber = false;
    number = entry.toInt(&isNumber);
    return isNumber;
}

QString TimingModeLine(int protocolTimeoutMs)
{
    if (protocolTimeoutMs >= 200 && protocolTimeoutMs <= 499)
        return QStringLiteral("QBXBUS USB speed is set!");
    if (protocolTimeoutMs >= 500 && protocolTimeoutMs <= 999)
        return QStringLiteral("RS232 speed is set!");
    return QString();
}

InterfaceScan::InterfaceScan(OperationLog &log, SerialLink &port, SerialLink &scanPort,
                             EngineClock &clock, QObject *parent)
    : QObject(parent), m_log(log), m_port(port), m_scanPort(scanPort), m_clock(clock),
      TTimeOutScan(QStringLiteral("TTimeOutScan"), clock, 2000),
      TClosePort(QStringLiteral("TClosePort"), clock, 300)
{
    TTimeOutScan.setHandler([this]() { TTimeOutScanTimer(); });
    TClosePort.setHandler([this]() { TClosePortTimer(); });
    connect(&m_scanPort, &SerialLink::dataAvailable, this, &InterfaceScan::ScanPortDataAvailable);
    connect(&m_port, &SerialLink::portFailed, this,
            [this](const QString &message) { onPortFailed(m_port, message); });
    connect(&m_scanPort, &SerialLink::portFailed, this,
            [this](const QString &message) { onPortFailed(m_scanPort, message); });
}

void InterfaceScan::setLastPortStore(std::function<int()> load, std::function<void(int)> save)
{
    m_loadLastPort = std::move(load);
    m_saveLastPort = std::move(save);
}

QString InterfaceScan::currentText() const
{
    return (m_current >= 0 && m_current < m_entries.size()) ? m_entries.at(m_current) : QString();
}

void InterfaceScan::setCurrentIndex(int index)
{
    m_current = (index >= 0 && index < m_entries.size()) ? index : -1;
    emit portListChanged();
}

void InterfaceScan::cbPortDropDown()
{
    if (m_entries.size() >= 3)
        return;
    fillPortList();
}

void InterfaceScan::fillPortList()
{
    m_entries.clear();
    const QList<int> ports = m_port.existingPorts();
    const int lastPort = m_loadLastPort ? m_loadLastPort() : 0;
    int lastIndex = -1;
    if (ports.isEmpty())
        m_log.append(QStringLiteral("[ERROR] Ports do not exists: 0 found!"));
    for (int port : ports) {
        const QString entry = QString::number(port);
        m_log.append(QStringLiteral("> Found COM") + entry);
        if (port == lastPort)
            lastIndex = int(m_entries.size());
        m_entries.append(entry);
    }
    m_entries.append(Offline);
    m_entries.append(Refresh);
    m_current = (lastPort > 0 && lastIndex >= 0) ? lastIndex : int(m_entries.size()) - 2;
    emit portListChanged();
}

void InterfaceScan::closeBusPortForSelect()
{
    if (!m_port.isOpen())
        return;
    if (m_port.close())
        m_log.append(QStringLiteral("Port: COM%1 is closed.").arg(m_port.portNumber()));
    emit buttonStatesChanged();
}

void InterfaceScan::cbPortSelect(int index)
{
    setCurrentIndex(index);
    const QString text = currentText();
    if (text == Offline) {
        closeBusPortForSelect();
    } else if (text == Refresh) {
        closeBusPortForSelect();
        fillPortList();
        // The window's other buttons follow the newly selected entry.
        emit buttonStatesChanged();
    }
}

void InterfaceScan::btnScanPortClick()
{
    const QString text = currentText();
    int number = 0;
    if (!ChosenPortNumber(text, m_log, number))
        return;

    emit buttonEnabled(Button::ScanPort, false);
    emit buttonEnabled(Button::FindDevices, false);
    emit buttonEnabled(Button::SendSerials, false);
    m_interfaceFound = false;
    m_model.clear();
    m_serial.clear();

    if (m_port.isOpen()) {
        m_log.append(QStringLiteral("> Detected open port for DPX search"));
        do {
            m_clock.processEvents();
            m_clock.wait(200);
        } while (!m_port.close());
        m_log.append(QStringLiteral("Port: COM%1 is closed.").arg(m_port.portNumber()));
    }

    if (!OpenDPXPort(m_scanPort, number, m_log, m_clock)) {
        m_log.append(QStringLiteral("[ERROR] Port COM%1 is not accessible!").arg(number));
        TClosePort.start();
        return;
    }

    m_log.append(QStringLiteral("> Searching Interface on COM") + text + QStringLiteral("..."));
    if (!SendFrame(m_log, m_scanPort, SearchInterfaceFrame())) {
        // Nothing went out, so no answer can come: end the scan now.
        TClosePort.start();
        return;
    }
    TTimeOutScan.start();
}

void InterfaceScan::ScanPortDataAvailable()
{
    m_interfaceFound = false;
    m_model.clear();
    m_serial.clear();
    const QString payload = ReplyPayload(m_scanPort.receiveLine());
    const int number = m_scanPort.portNumber();

    if (payload == QLatin1String("3F")) {
        m_log.append(QStringLiteral("> Response to SearchInterface ") + payload);
        m_log.append(QStringLiteral("> Interface not found on COM%1").arg(number));
        TClosePort.start();
        return;
    }

    const bool kdi3300 = payload.startsWith(QLatin1Char('0'));
    const QString serialField = kdi3300 ? payload.mid(1, 4) : payload.left(5);
    bool serialOk = false;
    const QString serial = HexToDecimalText(serialField, &serialOk);
    // A serial field shorter than the model gives it is no answer of a box.
    if (!serialOk || serialField.size() < (kdi3300 ? 4 : 5)) {
        TTimeOutScan.stop();
        m_log.append(QStringLiteral("> Invalid reply: ") + payload);
        TClosePort.start();
        return;
    }

    TTimeOutScan.stop();
    m_log.append(QStringLiteral("> Received data: ") + payload);
    m_log.append(QStringLiteral("> Interface found on COM%1").arg(number));
    m_model = kdi3300 ? QStringLiteral("KDI3300") : QStringLiteral("KDI3310");
    m_serial = serial;
    m_log.append(QStringLiteral("> Interface type: ") + m_model);
    m_log.append(QStringLiteral("> Interface serial number: ") + serial);
    m_interfaceFound = true;
    if (m_saveLastPort)
        m_saveLastPort(number);
    TClosePort.start();
}

void InterfaceScan::TTimeOutScanTimer()
{
    m_log.append(QStringLiteral(">> Interface not found on COM%1").arg(m_scanPort.portNumber()));
    TClosePort.start();
    TTimeOutScan.stop();
}

void InterfaceScan::TClosePortTimer()
{
    if (m_scanPort.isOpen() && m_scanPort.close())
        m_log.append(QStringLiteral("> Port COM%1 is closed.").arg(m_scanPort.portNumber()));
    emit buttonEnabled(Button::ScanPort, true);
    if (m_entries.size() > 1 && m_interfaceFound)
        emit buttonEnabled(Button::FindDevices, true);
    TClosePort.stop();
}

void InterfaceScan::onPortFailed(SerialLink &link, const QString &message)
{
    m_log.append(QStringLiteral("[ERROR] Port COM%1 failed: %2. The port is closed.")
                     .arg(link.portNumber())
                     .arg(message));
    if (&link == &m_scanPort) {
        // The scan cannot get its answer any more: end it as a time-out would.
        if (TTimeOutScan.enabled()) {
            TTimeOutScan.stop();
            TClosePort.start();
        }
    }
    emit buttonStatesChanged();
}
