#pragma once

#include "seriallink.h"

#include <QSerialPort>

// The serial link on a real port (or a pseudo-terminal): 9600 8N1, DTR and
// RTS on, no flow control, 4096-byte buffers.
class QtSerialLink : public SerialLink
{
    Q_OBJECT
public:
    explicit QtSerialLink(QObject *parent = nullptr);
    ~QtSerialLink() override;

    bool isAccessible() override;
    bool open() override;
    bool close() override;
    bool isOpen() const override;
    bool send(const QByteArray &bytes) override;
    QList<int> existingPorts() override;

private:
    void configure(QSerialPort &port) const;
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
};
