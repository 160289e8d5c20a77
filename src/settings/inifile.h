#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace IniDetail
{
// How bytes map to text. Each maps every byte sequence it is used for to
// text and back unchanged, so a value nobody changes is written back as the
// bytes it was read from.
enum class Codec {
    System,      // the system's 8-bit code page: a file without byte order mark
    Utf8,        // a file with a UTF-8 byte order mark
    Windows1252, // a line not valid in its file's codec: what a Windows PC wrote
    Utf16Le,     // a file with a UTF-16LE byte order mark
};

// One line as stored: for 8-bit and UTF-8 files each character stands for
// one byte, so that lines nobody writes go back to disk unchanged.
struct Line {
    QString text;
    QString end; // "\r\n", "\n", "\r", or empty on a last line without one
};

struct Document {
    QByteArray bom;
    Codec codec = Codec::System; // the file's; a line may still read as Windows-1252
    QList<Line> lines;
    QByteArray trailing; // an odd last byte of a UTF-16 file
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
//   the file byte for byte; written lines end in CR LF; CR LF, LF and CR
//   all end a line when reading;
// - a section may occur more than once: a key is read from, and written
//   to, the first of them that holds it.
// The text is in the system's 8-bit code page, or UTF-8 / UTF-16LE when the
// file starts with the matching byte order mark (which a write keeps). A
// line that is not valid in that code page (Windows-1252 text on a UTF-8
// system) is read as Windows-1252, so its bytes survive; new text goes into
// such a file as Windows-1252 where that can hold it.
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

    // Names as the file spells them, each once, in file order: the sections,
    // and the keys with a value in every section of that name.
    QStringList sections() const;
    QStringList keys(const QString &section) const;

    // Each write goes to the file at once, on top of what the file holds at
    // that moment; the file and the section are created when missing. A
    // value equal to the one read leaves the file alone. A value with blanks
    // around it, or inside a pair of quotes, is written in quotes so that it
    // reads back the same. On failure (also a value the file's code page
    // cannot hold) the file is left as it was, the result is false and
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
