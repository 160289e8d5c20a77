#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// One call button's line of a phone list.
struct PhoneListLine {
    std::optional<qint32> serial1;
    std::optional<qint32> serial2;
};

// A phone list larger than this is not a phone list: it is refused before
// anything is changed (a full installation needs a few kilobytes).
constexpr qint64 MaxPhoneListFileSize = 4 * 1024 * 1024;

// "1001|2001", "1001", "|2001" or "" for a button without serials.
QString FormatPhoneListLine(const PhoneListLine &line);
// The file's bytes: every line ends with CR LF; no lines give zero bytes.
QByteArray FormatPhoneListFile(const QVector<PhoneListLine> &lines);

// Splits a file's bytes into lines. A UTF-8 or UTF-16 byte-order mark picks
// that encoding, otherwise the bytes are read as an 8-bit code page. CR LF,
// LF and CR end a line; a last line needs no line end.
QStringList SplitPhoneListLines(const QByteArray &bytes);

// One field of a line taken as a serial: optionally signed decimal digits,
// blanks around them tolerated, that fit 32 bits and are at most six
// characters long. Anything else is no serial.
std::optional<qint32> ReadSerialField(const QString &field);

// Field 1 and field 2 of a line split at "|"; later fields are ignored.
// `badFields` counts non-empty fields that are not serials.
PhoneListLine ParsePhoneListLine(const QString &line, int *badFields = nullptr);

// Reads a whole phone list into lines; false with a reason when the file
// cannot be opened or read, or is far too large for a phone list.
bool ReadPhoneListFile(const QString &path, QStringList &lines, QString &error);
// Writes the bytes in one step: either the whole new file is there or the
// old one is left as it was.
bool WritePhoneListFile(const QString &path, const QByteArray &bytes, QString &error);
