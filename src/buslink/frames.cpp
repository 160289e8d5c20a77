#include "frames.h"

#include "hexutil.h"
#include "operationlog.h"
#include "seriallink.h"

#include <QLocale>
#include <QRegularExpression>

QByteArray BuildCommand(quint32 number, const QString &head, const QString &tail)
{
    QByteArray frame;
    frame += Frame::SOH;
    frame += ' ';
    frame += head.toLatin1();
    frame += IntToHexText(number).toLatin1();
    frame += tail.toLatin1();
    frame += Frame::EOT;
    return frame;
}

QByteArray BuildMemoryCommand(quint32 code, quint32 serial)
{
    QByteArray frame;
    frame += Frame::SOH;
    frame += ' ';
    frame += IntToHexText(code).toLatin1();
    frame += IntToHexText(serial).toLatin1();
    frame += Frame::EOT;
    return frame;
}

QByteArray SearchInterfaceFrame()
{
    return QByteArray("\x01.3F\x04");
}

QByteArray InitQBXBUSFrame(quint32 initCode)
{
    return BuildCommand(initCode);
}

QByteArray SearchDeviceFrame()
{
    return BuildCommand(Frame::Search);
}

QByteArray CheckSeriesTypeFrame(quint32 serial)
{
    return BuildCommand(serial, QStringLiteral("5"), QStringLiteral("C0"));
}

QByteArray SelMemAccessFrame(quint32 serial)
{
    return BuildMemoryCommand(Frame::SelectMemory, serial);
}

QByteArray ReadLocationFrame(quint32 address)
{
    return BuildCommand(address);
}

QByteArray WriteDataFrame(quint32 address, const QString &fourChars)
{
    return BuildCommand(address, QString(), fourChars);
}

QByteArray ResetDeviceFrame()
{
    return BuildCommand(Frame::Reset);
}

QString TrimControl(const QByteArray &bytes)
{
    qsizetype first = 0;
    qsizetype last = bytes.size() - 1;
    while (first <= last && static_cast<unsigned char>(bytes.at(first)) <= 0x20)
        ++first;
    while (last >= first && static_cast<unsigned char>(bytes.at(last)) <= 0x20)
        --last;
    return QString::fromLatin1(bytes.mid(first, last - first + 1));
}

QString ReplyPayload(const QByteArray &line)
{
    return TrimControl(line).mid(1);
}

QString SendDateTimeText(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    // Qt's long time format may carry a time-zone name; the send line shows
    // the clock time only.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat);
}

QString SendingLine(const QByteArray &frame, const QDateTime &when)
{
    return QStringLiteral("> ") + SendDateTimeText(when) + QStringLiteral(" Sending: ") +
           TrimControl(frame);
}

bool SendLoggedFrame(OperationLog &log, SerialLink &link, const QByteArray &frame)
{
    if (link.send(frame))
        return true;
    log.append(QStringLiteral("[ERROR] Port COM%1: %2").arg(link.portNumber()).arg(link.lastError()));
    return false;
}

bool SendFrame(OperationLog &log, SerialLink &link, const QByteArray &frame)
{
    log.append(SendingLine(frame, QDateTime::currentDateTime()));
    return SendLoggedFrame(log, link, frame);
}

bool SendWriteData(OperationLog &log, SerialLink &link, quint32 address, const QString &fourChars)
{
    log.append(QStringLiteral("> Location to write data: ") + IntToHexText(address));
    return SendFrame(log, link, WriteDataFrame(address, fourChars));
}

bool SendReadLocation(OperationLog &log, SerialLink &link, quint32 address)
{
    const QByteArray frame = ReadLocationFrame(address);
    log.append(QStringLiteral("> EEPROM Location: ") + TrimControl(frame));
    return SendLoggedFrame(log, link, frame);
}

bool SendResetDevice(OperationLog &log, SerialLink &link)
{
    log.append(QStringLiteral("> Reset device"));
    return SendLoggedFrame(log, link, ResetDeviceFrame());
}
