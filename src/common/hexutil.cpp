#include "hexutil.h"

QString IntToHexText(quint32 value)
{
    return QString::number(value, 16).toUpper();
}

bool IsHexText(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
        if (!hex)
            return false;
    }
    return true;
}

qint32 HexToInt(const QString &text, bool *ok)
{
    bool good = IsHexText(text);
    quint32 value = 0;
    if (good)
        value = text.toUInt(&good, 16);
    if (ok)
        *ok = good;
    return good ? static_cast<qint32>(value) : 0;
}

QString HexToDecimalText(const QString &text, bool *ok)
{
    bool good = false;
    const qint32 value = HexToInt(text, &good);
    if (ok)
        *ok = good;
    // Serials are unsigned on the wire; show them so even above 0x7FFFFFFF.
    return good ? QString::number(static_cast<quint32>(value)) : QString();
}
