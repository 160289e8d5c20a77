#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using IniDetail::Codec;
using IniDetail::Document;
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

// Windows-1252 at 0x80 to 0x9F; the five bytes it leaves undefined map to
// the control characters of the same number, as Windows maps them.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromCp1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = uchar(bytes[i]);
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

bool toCp1252(const QString &text, QByteArray &bytes)
{
    bytes.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes[i] = char(u);
            continue;
        }
        const char16_t *hit = std::find(std::begin(Cp1252High), std::end(Cp1252High), u);
        if (hit == std::end(Cp1252High))
            return false;
        bytes[i] = char(0x80 + (hit - std::begin(Cp1252High)));
    }
    return true;
}

// Stored form (one character per byte, or UTF-16 as is) to real text.
QString decoded(const QString &stored, Codec codec)
{
    switch (codec) {
    case Codec::System:
        return QString::fromLocal8Bit(stored.toLatin1());
    case Codec::Utf8:
        return QString::fromUtf8(stored.toLatin1());
    case Codec::Windows1252:
        return fromCp1252(stored.toLatin1());
    case Codec::Utf16Le:
        break;
    }
    return stored;
}

// Real text to stored form; false when the file's code page cannot hold it.
bool encoded(const QString &text, Codec codec, QString &stored)
{
    QByteArray bytes;
    switch (codec) {
    case Codec::System:
        bytes = text.toLocal8Bit();
        break;
    case Codec::Utf8:
        bytes = text.toUtf8();
        break;
    case Codec::Windows1252:
        if (!toCp1252(text, bytes))
            return false;
        break;
    case Codec::Utf16Le:
        stored = text;
        return true;
    }
    stored = QString::fromLatin1(bytes);
    // A character the code page lacks comes out as a replacement.
    return decoded(stored, codec) == text;
}

const QByteArray Utf8Bom("\xEF\xBB\xBF");
const QByteArray Utf16LeBom("\xFF\xFE");

bool roundTrips(const QByteArray &bytes, Codec codec)
{
    if (codec == Codec::System)
        return QString::fromLocal8Bit(bytes).toLocal8Bit() == bytes;
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

Document parsed(const QByteArray &bytes)
{
    Document doc;
    QString text;
    if (bytes.startsWith(Utf16LeBom)) {
        doc.bom = Utf16LeBom;
        doc.codec = Codec::Utf16Le;
        const qsizetype units = (bytes.size() - Utf16LeBom.size()) / 2;
        text.reserve(units);
        for (qsizetype i = 0; i < units; ++i) {
            const auto lo = uchar(bytes[Utf16LeBom.size() + 2 * i]);
            const auto hi = uchar(bytes[Utf16LeBom.size() + 2 * i + 1]);
            text.append(QChar(char16_t(lo | (hi << 8))));
        }
        doc.trailing = bytes.mid(Utf16LeBom.size() + 2 * units);
    } else {
        const bool bom = bytes.startsWith(Utf8Bom);
        const QByteArray body = bom ? bytes.mid(Utf8Bom.size()) : bytes;
        doc.bom = bom ? Utf8Bom : QByteArray();
        doc.codec = bom ? Codec::Utf8 : Codec::System;
        text = QString::fromLatin1(body);
    }

    // CR LF, LF or a lone CR ends a line; each line keeps its own end.
    qsizetype pos = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        const qsizetype endLength =
            (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ? 2 : 1;
        doc.lines.append(Line{text.mid(pos, i - pos), text.mid(i, endLength)});
        i += endLength - 1;
        pos = i + 1;
    }
    if (pos < n)
        doc.lines.append(Line{text.mid(pos), QString()});
    return doc;
}

QByteArray serialized(const Document &doc)
{
    QString text;
    for (const Line &line : doc.lines)
        text += line.text + line.end;
    if (doc.codec != Codec::Utf16Le)
        return doc.bom + text.toLatin1();
    QByteArray bytes = doc.bom;
    bytes.reserve(bytes.size() + 2 * text.size() + doc.trailing.size());
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes + doc.trailing;
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

// The codec a stored line is read in: the file's own, or Windows-1252 for
// a line that is not valid in it. Decided per line, so that a write never
// changes how the other lines read.
Codec lineCodec(const Document &doc, const QString &text)
{
    if (doc.codec == Codec::Utf16Le)
        return Codec::Utf16Le;
    const QByteArray bytes = text.toLatin1();
    return roundTrips(bytes, doc.codec) ? doc.codec : Codec::Windows1252;
}

// New text goes into a Windows-1252 file as Windows-1252, else in the
// file's own codec; the other one serves where the first lacks a character.
QList<Codec> writeCodecs(const Document &doc)
{
    if (doc.codec == Codec::Utf16Le)
        return {Codec::Utf16Le};
    for (const Line &line : doc.lines) {
        if (lineCodec(doc, line.text) == Codec::Windows1252)
            return {Codec::Windows1252, doc.codec};
    }
    return {doc.codec, Codec::Windows1252};
}

struct ParsedLine {
    enum Kind { Blank, Section, Key } kind = Blank;
    QString storedName; // as stored, trimmed
    QString name;       // decoded
    bool hasValue = false;
    QString value; // decoded, before quotes are removed
};

ParsedLine parsedLine(const Document &doc, const QString &text)
{
    ParsedLine result;
    const QString line = trimmedBlanks(text);
    if (line.isEmpty())
        return result;
    const Codec codec = lineCodec(doc, text);
    if (line.startsWith(QLatin1Char('['))) {
        const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
        if (close > 0) {
            result.kind = ParsedLine::Section;
            result.storedName = trimmedBlanks(line.mid(1, close - 1));
            result.name = decoded(result.storedName, codec);
            return result;
        }
    }
    // Anything else is a key line, with or without a value; comments and
    // garbage simply never match a key the program asks for.
    result.kind = ParsedLine::Key;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    result.storedName = eq < 0 ? line : trimmedBlanks(line.left(eq));
    result.name = decoded(result.storedName, codec);
    if (eq >= 0) {
        result.hasValue = true;
        result.value = decoded(trimmedBlanks(line.mid(eq + 1)), codec);
    }
    return result;
}

ParsedLine parsedLine(const Document &doc, qsizetype index)
{
    return parsedLine(doc, doc.lines[index].text);
}

bool sameName(const QString &name, const QString &wanted)
{
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

// Index of the first section line named `section` at or after `from`, or -1.
qsizetype findSection(const Document &doc, const QString &section, qsizetype from = 0)
{
    const QString wanted = trimmedBlanks(section);
    for (qsizetype i = from; i < doc.lines.size(); ++i) {
        const ParsedLine p = parsedLine(doc, i);
        if (p.kind == ParsedLine::Section && sameName(p.name, wanted))
            return i;
    }
    return -1;
}

// Index of the line after the last line of the section starting at `header`.
qsizetype sectionEnd(const Document &doc, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < doc.lines.size() && parsedLine(doc, i).kind != ParsedLine::Section)
        ++i;
    return i;
}

// The key's line in the first section of that name that holds it, or -1.
qsizetype findKey(const Document &doc, const QString &section, const QString &key,
                  ParsedLine *found)
{
    const QString wanted = trimmedBlanks(key);
    for (qsizetype header = findSection(doc, section); header >= 0;
         header = findSection(doc, section, header + 1)) {
        const qsizetype end = sectionEnd(doc, header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const ParsedLine p = parsedLine(doc, i);
            // A line without "=" holds no value; a write adds one below it.
            if (p.kind == ParsedLine::Key && p.hasValue && sameName(p.name, wanted)) {
                *found = p;
                return i;
            }
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
    ParsedLine line;
    // A key line without "=" has no value and reads as the default.
    if (findKey(m_doc, section, key, &line) < 0 || !line.hasValue)
        return defaultValue;
    return readBack(line.value);
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

namespace
{

void addName(QStringList &names, const QString &name)
{
    if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
        names.append(name);
}

} // namespace

QStringList IniFile::sections() const
{
    QStringList names;
    for (const Line &line : m_doc.lines) {
        const ParsedLine p = parsedLine(m_doc, line.text);
        if (p.kind == ParsedLine::Section)
            addName(names, p.name);
    }
    return names;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    for (qsizetype header = findSection(m_doc, section); header >= 0;
         header = findSection(m_doc, section, header + 1)) {
        const qsizetype end = sectionEnd(m_doc, header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const ParsedLine p = parsedLine(m_doc, i);
            if (p.kind == ParsedLine::Key && p.hasValue)
                addName(names, p.name);
        }
    }
    return names;
}

namespace
{

// The value as it goes after "=": quoted when the reader would otherwise
// drop its outer blanks or a pair of quotes of its own.
QString valueText(const QString &value)
{
    const bool needsQuotes =
        (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()))) ||
        readBack(value) != value;
    return needsQuotes ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

// A line the reader would take for a section header, or split elsewhere,
// cannot hold a key.
bool isWritableKey(const QString &key)
{
    return !key.isEmpty() && !key.contains(QLatin1Char('=')) &&
           !(key.startsWith(QLatin1Char('[')) && key.contains(QLatin1Char(']')));
}

// "name=value" as stored, in the first codec in which it reads back as
// given. An existing key keeps its bytes where it can; where the new value
// makes the line read in another codec, its name is encoded anew.
bool keyLine(const Document &doc, const QString &storedName, const QString &name,
             const QString &value, QString &line)
{
    for (const bool keepName : {true, false}) {
        if (keepName && storedName.isEmpty())
            continue;
        for (Codec codec : writeCodecs(doc)) {
            QString n = storedName;
            QString v;
            if ((!keepName && !encoded(name, codec, n)) || !encoded(valueText(value), codec, v))
                continue;
            const ParsedLine p = parsedLine(doc, n + QLatin1Char('=') + v);
            if (p.kind == ParsedLine::Key && p.hasValue && sameName(p.name, name) &&
                readBack(p.value) == value) {
                line = n + QLatin1Char('=') + v;
                return true;
            }
        }
    }
    return false;
}

bool sectionLine(const Document &doc, const QString &name, QString &line)
{
    for (Codec codec : writeCodecs(doc)) {
        QString n;
        if (!encoded(name, codec, n))
            continue;
        const QString candidate = QLatin1Char('[') + n + QLatin1Char(']');
        const ParsedLine p = parsedLine(doc, candidate);
        if (p.kind == ParsedLine::Section && sameName(p.name, name)) {
            line = candidate;
            return true;
        }
    }
    return false;
}

} // namespace

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    m_error.clear();
    const QString sectionName = trimmedBlanks(section);
    const QString keyName = trimmedBlanks(key);
    if (sectionName.isEmpty() || !isWritableKey(keyName) || hasLineBreak(section) ||
        hasLineBreak(key) || hasLineBreak(value)) {
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
    ParsedLine existing;
    const qsizetype at = findKey(doc, sectionName, keyName, &existing);
    // Unchanged: the line keeps its bytes, blanks and quotes included.
    if (at >= 0 && readBack(existing.value) == value)
        return true;

    QString newLine;
    QString header;
    const qsizetype headerAt = findSection(doc, sectionName);
    if (!keyLine(doc, at >= 0 ? existing.storedName : QString(), at >= 0 ? existing.name : keyName,
                 value, newLine) ||
        (headerAt < 0 && !sectionLine(doc, sectionName, header))) {
        m_error = QStringLiteral("Cannot write [%1] %2 to %3: the file's code page cannot hold "
                                 "\"%4\"")
                      .arg(section, key, QDir::toNativeSeparators(m_path), value);
        return false;
    }

    if (at >= 0) {
        lines[at] = Line{newLine, CrLf};
    } else if (headerAt < 0) {
        if (!lines.isEmpty() && lines.last().end.isEmpty())
            lines.last().end = CrLf;
        lines.append(Line{header, CrLf});
        lines.append(Line{newLine, CrLf});
    } else {
        // After the section's last non-blank line, so that a blank line
        // that separates it from the next section stays in between.
        qsizetype last = headerAt;
        const qsizetype end = sectionEnd(doc, headerAt);
        for (qsizetype i = headerAt + 1; i < end; ++i) {
            if (parsedLine(doc, i).kind != ParsedLine::Blank)
                last = i;
        }
        if (lines[last].end.isEmpty())
            lines[last].end = CrLf;
        lines.insert(last + 1, Line{newLine, CrLf});
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
