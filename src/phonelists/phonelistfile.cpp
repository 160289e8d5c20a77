#include "phonelistfile.h"

#include "fieldutil.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

QString FormatPhoneListLine(const PhoneListLine &line)
{
    QString text;
    if (line.serial1)
        text = QString::number(*line.serial1);
    if (line.serial2)
        text += QLatin1Char('|') + QString::number(*line.serial2);
    return text;
}

QByteArray FormatPhoneListFile(const QVector<PhoneListLine> &lines)
{
    QByteArray bytes;
    bytes.reserve(lines.size() * 16);
    for (const PhoneListLine &line : lines) {
        // Digits, minus signs and "|" only: the 8-bit code page is ASCII here.
        bytes += FormatPhoneListLine(line).toLatin1();
        bytes += "\r\n";
    }
    return bytes;
}

QStringList SplitPhoneListLines(const QByteArray &bytes)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decode(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE);
        text = decode(bytes.mid(2));
    } else {
        // An 8-bit code page: every byte is one character, so digits stay
        // digits whatever the other bytes are.
        text = QString::fromLatin1(bytes);
    }

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

std::optional<qint32> ReadSerialField(const QString &field)
{
    const QString trimmed = field.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 6)
        return std::nullopt;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return std::nullopt;
    }
    bool ok = false;
    const qint32 value = trimmed.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

PhoneListLine ParsePhoneListLine(const QString &line, int *badFields)
{
    PhoneListLine out;
    if (line.isEmpty())
        return out;
    const QString separator = QStringLiteral("|");
    const QString f1 = GetField(line, separator, 1);
    const QString f2 = GetField(line, separator, 2);
    out.serial1 = ReadSerialField(f1);
    out.serial2 = ReadSerialField(f2);
    if (badFields) {
        *badFields += (!out.serial1 && !f1.trimmed().isEmpty()) ? 1 : 0;
        *badFields += (!out.serial2 && !f2.trimmed().isEmpty()) ? 1 : 0;
    }
    return out;
}

bool ReadPhoneListFile(const QString &path, QStringList &lines, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.size() > MaxPhoneListFileSize) {
        error =
            QStringLiteral("The file is too large for a phone list (%1 bytes).").arg(file.size());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    lines = SplitPhoneListLines(bytes);
    return true;
}

bool WritePhoneListFile(const QString &path, const QByteArray &bytes, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
