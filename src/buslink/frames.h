#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class OperationLog;
class SerialLink;

namespace Frame {
constexpr char SOH = 0x01;
constexpr char EOT = 0x04;

constexpr quint32 InitMain = 0x5802;
constexpr quint32 InitExt = 0x5803;
constexpr quint32 Search = 0x5200;
constexpr quint32 Reset = 0x5100;
constexpr quint32 SelectMemory = 0x0810;
} // namespace Frame

// SOH, blank, head, number in hex, tail, EOT.
QByteArray BuildCommand(quint32 number, const QString &head = QString(),
                        const QString &tail = QString());
// SOH, blank, code in hex, serial in hex, EOT.
QByteArray BuildMemoryCommand(quint32 code, quint32 serial);

// The interface query is a fixed frame with a full stop as separator.
QByteArray SearchInterfaceFrame();
QByteArray InitQBXBUSFrame(quint32 initCode);
QByteArray SearchDeviceFrame();
QByteArray CheckSeriesTypeFrame(quint32 serial);
QByteArray SelMemAccessFrame(quint32 serial);
QByteArray ReadLocationFrame(quint32 address);
QByteArray WriteDataFrame(quint32 address, const QString &fourChars);
QByteArray ResetDeviceFrame();

// Frame or line with every outer character of code 0x20 or lower removed.
QString TrimControl(const QByteArray &bytes);
// Payload of a reply line: trimmed, then its first character dropped.
QString ReplyPayload(const QByteArray &line);

// Date and time as send lines show them: the system locale's short date
// and long time.
QString SendDateTimeText(const QDateTime &when);
QString SendingLine(const QByteArray &frame, const QDateTime &when);

// Send path. Each writes its log lines first, then hands the frame to the
// link in one call. A send refused by a closed port is logged and returns
// false, so the caller can end its sequence.
bool SendFrame(OperationLog &log, SerialLink &link, const QByteArray &frame);
// Sends a frame whose log lines were already written; reports a refusal.
bool SendLoggedFrame(OperationLog &log, SerialLink &link, const QByteArray &frame);
bool SendWriteData(OperationLog &log, SerialLink &link, quint32 address, const QString &fourChars);
bool SendReadLocation(OperationLog &log, SerialLink &link, quint32 address);
bool SendResetDevice(OperationLog &log, SerialLink &link);
