#include "qtseriallink.h"

#include "comports.h"

QtSerialLink::QtSerialLink(QObject *parent) : SerialLink(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this]() { feed(m_port.readAll()); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialLink::onError);
}

QtSerialLink::~QtSerialLink()
{
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialLink::configure(QSerialPort &port) const
{
    port.setPortName(ComPortDevice(portNumber()));
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(4096);
}

bool QtSerialLink::isAccessible()
{
    if (m_port.isOpen())
        return true;
    QSerialPort trial;
    configure(trial);
    if (!trial.open(QIODevice::ReadWrite)) {
        setLastError(trial.errorString());
        return false;
    }
    trial.close();
    return true;
}

bool QtSerialLink::open()
{
    if (m_port.isOpen())
        return true;
    clearInput();
    configure(m_port);
    if (!m_port.open(QIODevice::ReadWrite)) {
        setLastError(m_port.errorString());
        return false;
    }
    // A pseudo-terminal has no modem lines and reports an error here; that
    // does not make the port unusable.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    return true;
}

bool QtSerialLink::close()
{
    if (m_port.isOpen())
        m_port.close();
    clearInput();
    return !m_port.isOpen();
}

bool QtSerialLink::isOpen() const
{
    return m_port.isOpen();
}

bool QtSerialLink::send(const QByteArray &bytes)
{
    if (!m_port.isOpen()) {
        setLastError(QStringLiteral("the port is closed"));
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        setLastError(m_port.errorString());
        return false;
    }
    return true;
}

QList<int> QtSerialLink::existingPorts()
{
    return ExistingComPorts();
}

void QtSerialLink::onError(QSerialPort::SerialPortError error)
{
    // Only a failure of the open device itself ends the connection (a
    // pulled adapter shows as a resource error or as a read at end of
    // file); the modem-line errors of a pseudo-terminal do not.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) ||
        !m_port.isOpen())
        return;
    const QString message = m_port.errorString();
    setLastError(message);
    m_port.close();
    clearInput();
    emit portFailed(message);
}
