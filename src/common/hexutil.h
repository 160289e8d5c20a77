#pragma once

#include <QString>

// Hexadecimal conventions of the bus: upper-case digits, no leading zeros,
// at least one digit.

QString IntToHexText(quint32 value);

// Value of `text` read as a hexadecimal number. `ok` is false for an empty
// text, a character that is not a hex digit, or a value beyond 32 bits; the
// result is then 0.
qint32 HexToInt(const QString &text, bool *ok = nullptr);

// Decimal text of the hexadecimal `text`; empty when it does not convert.
QString HexToDecimalText(const QString &text, bool *ok = nullptr);

bool IsHexText(const QString &text);
