#include "comports.h"

#include <QFileInfo>
#include <QSerialPort>

QString ComPortDevice(int n)
{
    if (n < 1 || n > MaxComPort)
        return QString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    const QByteArray mapped = qgetenv(QStringLiteral("KORVEL_COM%1").arg(n).toLatin1().constData());
    if (!mapped.isEmpty())
        return QString::fromLocal8Bit(mapped);
    if (n <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    if (n <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 33);
    if (n <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 65);
    return QString();
#endif
}

bool ComPortExists(int n)
{
    const QString device = ComPortDevice(n);
    if (device.isEmpty())
        return false;
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(device))
        return false;
#endif
    QSerialPort port;
    port.setPortName(device);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        return true;
    }
    // Held by another program (Qt's lock file or an exclusive open).
    return port.error() == QSerialPort::PermissionError;
}

QList<int> ExistingComPorts()
{
    QList<int> found;
    for (int n = 1; n <= MaxComPort; ++n) {
        if (ComPortExists(n))
            found.append(n);
    }
    return found;
}
