#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using IniDetail::Document;
using IniDetail::Encoding;
using IniDetail::Line;

namespace
{

const QString CrLf = QStringLiteral("\r\n");

// Blanks the profile functions trim around lines, names and values; ASCII
// only, because in a stored line a byte above 0x7F may be part of a UTF-8
// character.
bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\r' || u == '\v' || u == '\f' || u == 0x1A;
}

QString trimmedBlanks(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

// Stored form (one character per byte, or UTF-16 as is) to real text.
QString decoded(const QString &stored, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Local8Bit:
        return QString::fromLocal8Bit(stored.toLatin1());
    case Encoding::Utf8Bom:
        return QString::fromUtf8(stored.toLatin1());
    case Encoding::Utf16LeBom:
        break;
    }
    return stored;
}

QString encoded(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Local8Bit:
        return QString::fromLatin1(text.toLocal8Bit());
    case Encoding::Utf8Bom:
        return QString::fromLatin1(text.toUtf8());
    case Encoding::Utf16LeBom:
        break;
    }
    return text;
}

const QByteArray Utf8Bom("\xEF\xBB\xBF");
const QByteArray Utf16LeBom("\xFF\xFE");

Document parsed(const QByteArray &bytes)
{
    Document doc;
    QString text;
    if (bytes.startsWith(Utf16LeBom)) {
        doc.encoding = Encoding::Utf16LeBom;
        const qsizetype units = (bytes.size() - Utf16LeBom.size()) / 2;
        text.reserve(units);
        for (qsizetype i = 0; i < units; ++i) {
            const auto lo = uchar(bytes[Utf16LeBom.size() + 2 * i]);
            const auto hi = uchar(bytes[Utf16LeBom.size() + 2 * i + 1]);
            text.append(QChar(char16_t(lo | (hi << 8))));
        }
    } else if (bytes.startsWith(Utf8Bom)) {
        doc.encoding = Encoding::Utf8Bom;
        text = QString::fromLatin1(bytes.mid(Utf8Bom.size()));
    } else {
        text = QString::fromLatin1(bytes);
    }

    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype lf = text.indexOf(QLatin1Char('\n'), pos);
        if (lf < 0) {
            doc.lines.append(Line{text.mid(pos), QString()});
            break;
        }
        const bool crlf = lf > pos && text[lf - 1] == QLatin1Char('\r');
        const qsizetype textEnd = crlf ? lf - 1 : lf;
        doc.lines.append(Line{text.mid(pos, textEnd - pos), text.mid(textEnd, lf + 1 - textEnd)});
        pos = lf + 1;
    }
    return doc;
}

QByteArray serialized(const Document &doc)
{
    QString text;
    for (const Line &line : doc.lines)
        text += line.text + line.end;
    switch (doc.encoding) {
    case Encoding::Local8Bit:
        return text.toLatin1();
    case Encoding::Utf8Bom:
        return Utf8Bom + text.toLatin1();
    case Encoding::Utf16LeBom:
        break;
    }
    QByteArray bytes = Utf16LeBom;
    bytes.reserve(bytes.size() + 2 * text.size());
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

enum class LoadResult { Loaded, Missing, Unreadable };

LoadResult load(const QString &path, Document &doc, QString *error = nullptr)
{
    doc = Document();
    QFile file(path);
    if (!QFileInfo::exists(path))
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return LoadResult::Unreadable;
    }
    doc = parsed(file.readAll());
    return LoadResult::Loaded;
}

bool save(const QString &path, const Document &doc, QString &error)
{
    // A temporary file renamed over the old one, so that a failure half-way
    // never leaves a truncated settings file; written in place where the
    // folder allows no new file.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly) && file.write(serialized(doc)) >= 0 && file.commit())
        return true;
    error = QStringLiteral("Cannot write %1: %2")
                .arg(QDir::toNativeSeparators(path), file.errorString());
    file.cancelWriting();
    return false;
}

struct ParsedLine {
    enum Kind { Blank, Section, Key } kind = Blank;
    QString name; // stored form, trimmed
    bool hasValue = false;
    QString value; // stored form, trimmed
};

ParsedLine parsedLine(const QString &text)
{
    ParsedLine result;
    const QString line = trimmedBlanks(text);
    if (line.isEmpty())
        return result;
    if (line.startsWith(QLatin1Char('['))) {
        const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
        if (close > 0) {
            result.kind = ParsedLine::Section;
            result.name = trimmedBlanks(line.mid(1, close - 1));
            return result;
        }
    }
    // Anything else is a key line, with or without a value; comments and
    // garbage simply never match a key the program asks for.
    result.kind = ParsedLine::Key;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) {
        result.name = line;
        return result;
    }
    result.name = trimmedBlanks(line.left(eq));
    result.hasValue = true;
    result.value = trimmedBlanks(line.mid(eq + 1));
    return result;
}

bool sameName(const QString &stored, Encoding encoding, const QString &wanted)
{
    return decoded(stored, encoding).compare(wanted, Qt::CaseInsensitive) == 0;
}

// Index of the first section line named `section`, or -1.
qsizetype findSection(const Document &doc, const QString &section)
{
    const QString wanted = trimmedBlanks(section);
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine p = parsedLine(doc.lines[i].text);
        if (p.kind == ParsedLine::Section && sameName(p.name, doc.encoding, wanted))
            return i;
    }
    return -1;
}

// Index of the line after the last line of the section starting at `header`.
qsizetype sectionEnd(const Document &doc, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < doc.lines.size() && parsedLine(doc.lines[i].text).kind != ParsedLine::Section)
        ++i;
    return i;
}

qsizetype findKey(const Document &doc, qsizetype header, const QString &key, ParsedLine *found)
{
    const QString wanted = trimmedBlanks(key);
    const qsizetype end = sectionEnd(doc, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const ParsedLine p = parsedLine(doc.lines[i].text);
        if (p.kind == ParsedLine::Key && sameName(p.name, doc.encoding, wanted)) {
            *found = p;
            return i;
        }
    }
    return -1;
}

// A value the profile functions read back: the stored text, less one pair of
// matching quotes around it.
QString readBack(const QString &value)
{
    if (value.size() >= 2 &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

bool isDecimalDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isHexDigit(QChar c)
{
    return isDecimalDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// Whole text as one number, or the default: an optionally signed decimal
// number, or "0x" and hexadecimal digits of at most 32 bits (taken as a
// signed 32-bit value, so 0xFFFFFFFF is -1).
int parseInteger(const QString &text, int defaultValue)
{
    if (text.size() > 2 && text[0] == QLatin1Char('0') &&
        (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
        const QString digits = text.mid(2);
        if (!std::all_of(digits.begin(), digits.end(), isHexDigit))
            return defaultValue;
        bool ok = false;
        const quint32 value = digits.toUInt(&ok, 16);
        return ok ? qint32(value) : defaultValue;
    }
    const qsizetype signLength =
        (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'))) ? 1 : 0;
    const QString digits = text.mid(signLength);
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDecimalDigit))
        return defaultValue;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path))
{
    reload();
}

void IniFile::reload()
{
    load(m_path, m_doc);
}

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    const qsizetype header = findSection(m_doc, section);
    if (header < 0)
        return defaultValue;
    ParsedLine line;
    // A key line without "=" has no value and reads as the default.
    if (findKey(m_doc, header, key, &line) < 0 || !line.hasValue)
        return defaultValue;
    return readBack(decoded(line.value, m_doc.encoding));
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const QString text = readString(section, key);
    return text.isEmpty() ? defaultValue : parseInteger(text, defaultValue);
}

bool IniFile::readBool(const QString &section, const QString &key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    m_error.clear();
    const QString sectionName = trimmedBlanks(section);
    const QString keyName = trimmedBlanks(key);
    if (sectionName.isEmpty() || keyName.isEmpty() || keyName.contains(QLatin1Char('=')) ||
        sectionName.contains(QLatin1Char(']')) || hasLineBreak(section) || hasLineBreak(key) ||
        hasLineBreak(value)) {
        m_error = QStringLiteral("Cannot write [%1] %2 to %3: not a valid section, key or value")
                      .arg(section, key, QDir::toNativeSeparators(m_path));
        return false;
    }

    // Start from the file as it is now, not as it was when this object read
    // it: somebody may have written another key in between.
    Document onDisk;
    if (load(m_path, onDisk, &m_error) == LoadResult::Unreadable) {
        // Writing anyway would replace a file we could not even read.
        return false;
    }
    m_doc = onDisk;

    Document doc = onDisk;
    QList<Line> &lines = doc.lines;
    const Encoding enc = doc.encoding;
    const QString storedValue = encoded(value, enc);

    const qsizetype header = findSection(doc, sectionName);
    if (header < 0) {
        if (!lines.isEmpty() && lines.last().end.isEmpty())
            lines.last().end = CrLf;
        lines.append(Line{QLatin1Char('[') + encoded(sectionName, enc) + QLatin1Char(']'), CrLf});
        lines.append(Line{encoded(keyName, enc) + QLatin1Char('=') + storedValue, CrLf});
    } else {
        ParsedLine existing;
        const qsizetype at = findKey(doc, header, keyName, &existing);
        if (at >= 0) {
            if (existing.hasValue && existing.value == storedValue)
                return true;
            // The file's own spelling of the key stays.
            lines[at] = Line{existing.name + QLatin1Char('=') + storedValue, CrLf};
        } else {
            // After the section's last non-blank line, so that a blank line
            // that separates it from the next section stays in between.
            qsizetype last = header;
            const qsizetype end = sectionEnd(doc, header);
            for (qsizetype i = header + 1; i < end; ++i) {
                if (parsedLine(lines[i].text).kind != ParsedLine::Blank)
                    last = i;
            }
            if (lines[last].end.isEmpty())
                lines[last].end = CrLf;
            lines.insert(last + 1,
                         Line{encoded(keyName, enc) + QLatin1Char('=') + storedValue, CrLf});
        }
    }

    if (!save(m_path, doc, m_error))
        return false;
    m_doc = doc;
    return true;
}

bool IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}

bool IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    return writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
