#pragma once

#include <QList>
#include <QString>

namespace IniDetail
{
enum class Encoding { Local8Bit, Utf8Bom, Utf16LeBom };

// One line as stored: for 8-bit and UTF-8 files each character stands for
// one byte, so that lines nobody writes go back to disk unchanged.
struct Line {
    QString text;
    QString end; // "\r\n", "\n", or empty on a last line without one
};

struct Document {
    Encoding encoding = Encoding::Local8Bit;
    QList<Line> lines;
};
} // namespace IniDetail

// A plain Windows INI file, read and written the way the Windows profile
// functions do it, so that a Korvel.x64.ini carried over from another PC
// reads the same here:
// - section and key names compare case-insensitively;
// - a value is the raw text after the first "=" up to the end of the line,
//   with blanks around key and value trimmed and one pair of matching
//   surrounding quotes removed; backslashes are plain characters;
// - integers are decimal, or hexadecimal after "0x"; anything else reads as
//   the default; booleans are written "1"/"0" and read as integer <> 0;
// - a write changes or adds exactly one line and keeps every other line of
//   the file byte for byte; written lines end in CR LF.
// The text is in the system's 8-bit code page, or UTF-8 / UTF-16LE when the
// file starts with the matching byte order mark (which a write keeps).
// QSettings cannot stand in: it reads backslashes as escapes.
class IniFile
{
public:
    // Reads the file now; a missing or unreadable file reads as empty.
    explicit IniFile(QString path);

    const QString &path() const { return m_path; }

    // Reads the file again, e.g. after someone else wrote it.
    void reload();

    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue = QString()) const;
    int readInteger(const QString &section, const QString &key, int defaultValue) const;
    bool readBool(const QString &section, const QString &key, bool defaultValue) const;

    // Each write goes to the file at once, on top of what the file holds at
    // that moment; the file and the section are created when missing. On
    // failure the file is left as it was, the result is false and
    // errorString() says why.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int value);
    bool writeBool(const QString &section, const QString &key, bool value);

    // Why the last write failed; empty after a successful one.
    const QString &errorString() const { return m_error; }

private:
    QString m_path;
    IniDetail::Document m_doc;
    QString m_error;
};
