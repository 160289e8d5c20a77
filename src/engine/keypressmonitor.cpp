#include "keypressmonitor.h"

#include "dialogs.h"
#include "hexutil.h"
#include "keynumberlist.h"
#include "operationlog.h"
#include "phonetable.h"

namespace
{

constexpr quint32 LightKeyFirst = 0x1200;
constexpr quint32 LightKeyLast = 0x123F;
constexpr qint32 CallKeyFlag = 0x80;
// Characters 5 to 8 in this range are the box's own initialisation codes.
constexpr qint32 InitCodeFirst = 0x5800;
constexpr qint32 InitCodeLast = 0x580F;
// Characters 7 and 8 are the last ones read from a "0" telegram.
constexpr int ZeroTelegramLength = 8;

// AS address of a light-key telegram, or -1. The whole payload counts, so
// leading zeros are allowed and a long payload must not overflow.
int lightKeyAddress(const QString &hexPayload)
{
    int first = 0;
    while (first < hexPayload.size() - 1 && hexPayload.at(first) == QLatin1Char('0'))
        ++first;
    const QString digits = hexPayload.mid(first);
    if (digits.size() > 4)
        return -1;
    const quint32 value = quint32(HexToInt(digits));
    if (value < LightKeyFirst || value > LightKeyLast)
        return -1;
    return int(value - LightKeyFirst);
}

// Value of characters `from`.. (counted from 1) of a payload already known
// to be hexadecimal and long enough.
qint32 field(const QString &payload, int from, int length)
{
    return HexToInt(payload.mid(from - 1, length));
}

} // namespace

KeyPressMonitor::KeyPressMonitor(OperationLog &log, Dialogs &dialogs, PhoneTable &phones,
                                 SortedStringList &keyNumberList)
    : m_log(log), m_dialogs(dialogs), m_phones(phones), m_keyNumberList(keyNumberList),
      m_showWarnings([]() { return true; }), m_detectDoubleKeyPress([]() { return false; })
{
}

void KeyPressMonitor::setShowWarnings(std::function<bool()> isOn)
{
    m_showWarnings = isOn ? std::move(isOn) : []() { return true; };
}

void KeyPressMonitor::setDetectDoubleKeyPress(std::function<bool()> isOn)
{
    m_detectDoubleKeyPress = isOn ? std::move(isOn) : []() { return false; };
}

void KeyPressMonitor::handleTelegram(const QString &payload)
{
    m_waiting.enqueue(payload);
    // Called again from inside a warning's event loop: the outer call
    // handles the line once the warning is closed.
    if (m_handling)
        return;
    m_handling = true;
    while (!m_waiting.isEmpty())
        handleOne(m_waiting.dequeue());
    m_handling = false;
}

void KeyPressMonitor::handleOne(const QString &payload)
{
    // Every test below reads the payload as hex: a line that is not never
    // reaches a conversion, and the alternation stays as it was.
    if (!IsHexText(payload)) {
        m_log.append(QStringLiteral("> Invalid reply: ") + payload);
        return;
    }
    const int lightAs = lightKeyAddress(payload);
    if (lightAs >= 0) {
        m_log.append(QStringLiteral("> Key: Light; AS:%1 [%2]").arg(lightAs).arg(payload));
        return;
    }
    if (payload.at(0) != QLatin1Char('0'))
        return;
    if (payload.size() < ZeroTelegramLength) {
        m_log.append(QStringLiteral("> Invalid reply: ") + payload);
        return;
    }
    if (SkipNextKeyTelegram) {
        SkipNextKeyTelegram = false;
        return;
    }
    const qint32 asAddress = field(payload, 7, 2) - CallKeyFlag;
    if (asAddress >= 0) {
        callKey(payload, asAddress);
    } else {
        const qint32 value = field(payload, 5, 4);
        if (value < InitCodeFirst || value > InitCodeLast)
            m_log.append(QStringLiteral("> Unknown data (press slower): ") + payload);
    }
    SkipNextKeyTelegram = true;
}

void KeyPressMonitor::callKey(const QString &payload, int asAddress)
{
    const QString serial = HexToDecimalText(payload.mid(1, 5));
    m_log.append(QStringLiteral("> Key: %1; AS:%2 [%3]").arg(serial).arg(asAddress).arg(payload));

    if (!m_phones.isEmpty() && m_showWarnings()) {
        const qint32 serialNo = serial.toInt();
        // Found in either column, the row becomes current and the grid follows.
        if (!m_phones.locate(PhoneTable::SerialNoRead1, serialNo) &&
            !m_phones.locate(PhoneTable::SerialNoRead2, serialNo))
            m_dialogs.warning(QStringLiteral("Serial number ") + serial +
                              QStringLiteral(" does not exist in table!?"));
    }

    if (m_detectDoubleKeyPress() && !m_keyNumberList.add(serial))
        m_dialogs.warning(QStringLiteral("Serial number ") + serial +
                          QStringLiteral(" already pressed once!?"));
}
