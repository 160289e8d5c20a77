#include "versionfile.h"

bool VersionNumber(const QString &version, qint64 *number, QString *error)
{
    QString digits = version;
    const qsizetype dot = digits.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        digits.remove(dot, 1);
    // Digits only, optionally signed, as a whole-number conversion takes them.
    bool ok = !digits.isEmpty();
    for (qsizetype i = 0; ok && i < digits.size(); ++i) {
        const QChar c = digits.at(i);
        ok = c.isDigit() || (i == 0 && digits.size() > 1 && (c == u'-' || c == u'+'));
    }
    const qint64 value = ok ? digits.toLongLong(&ok) : 0;
    if (!ok) {
        if (error)
            *error = QStringLiteral("'%1' is not a valid integer value").arg(digits);
        return false;
    }
    *number = value;
    return true;
}

VersionFileInfo ParseVersionFile(const QString &text)
{
    VersionFileInfo info;
    info.version = GetField(text, QStringLiteral(";"), 1);
    info.expectedSize = GetField(text, QStringLiteral(";"), 3);
    // The checksum field alone, without later fields or the line end.
    const QString fourth =
        GetField(GetField(text, QStringLiteral(";"), 4), QStringLiteral(";"), 1).trimmed();
    bool hex = fourth.size() == 64;
    for (qsizetype i = 0; hex && i < fourth.size(); ++i) {
        const char16_t c = fourth.at(i).unicode();
        hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    }
    if (hex)
        info.sha256 = fourth.toLower();
    return info;
}
