#pragma once

#include <QString>

#include <optional>

class Dialogs;

// The MAIN door station's parameter block: 8 bytes as 16 hexadecimal digits,
// byte 0 first.

inline constexpr int ParamBlockChars = 16;

// Written by "Init memory": AS address 0, not fixed, R contact time 4 s,
// indoor device time 4 s, light off.
inline constexpr char DefaultParamBlock[] = "0040778000010200";

// Each hexadecimal digit as four binary digits, most significant first
// ("3F" gives "00111111"). Empty, with `ok` false, when a character is not a
// hexadecimal digit.
QString HexToBin(const QString &hex, bool *ok = nullptr);

// Binary digits, padded on the left to a multiple of four, as upper-case
// hexadecimal. Any other character gives the error box "This is not binary
// number" and the empty text.
QString BinToHex(const QString &binary, Dialogs &dialogs);

// Value of binary digits, most significant first. 0, with `ok` false, for an
// empty text, another character, or more than 62 significant digits.
qint64 BinToInt(const QString &binary, bool *ok = nullptr);

// True for exactly 16 hexadecimal digits.
bool IsParamBlock(const QString &block);

// The five settings the parameters dialog edits.
struct ParamSettings {
    int asAddress = 0; // 0 to 63
    bool asFixed = false;
    int rContactTime = 0;     // seconds; a block may hold up to 15, 0 to 7 are valid
    int indoorDeviceTime = 0; // half seconds, 0 to 15
    bool useAsLight = false;

    bool operator==(const ParamSettings &o) const
    {
        return asAddress == o.asAddress && asFixed == o.asFixed && rContactTime == o.rContactTime &&
               indoorDeviceTime == o.indoorDeviceTime && useAsLight == o.useAsLight;
    }
};

// The settings of `block`; nullopt when it is not a parameter block.
std::optional<ParamSettings> ReadParamSettings(const QString &block);

// A new block: the settings written over `readBlock`, whose uninterpreted
// bits are carried along; the unused low digits of bytes 1 and 3 and bit 6 of
// byte 0 are written as 0. Empty when `readBlock` is not a parameter block or
// a setting is out of its range, so that no malformed block is ever sent.
QString WriteParamSettings(const ParamSettings &settings, const QString &readBlock,
                           Dialogs &dialogs);
