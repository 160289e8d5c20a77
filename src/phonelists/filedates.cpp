#include "filedates.h"

#include <QFileInfo>

namespace
{

void putDigits(QChar *out, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
}

int digitsAt(const QString &text, int at, int count)
{
    int value = 0;
    for (int i = at; i < at + count; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

QString FileDateText(const QDateTime &when)
{
    if (!when.isValid())
        return QString();
    // Built by hand: a loader formats one per file, and QDateTime::toString
    // is the slowest part of it.
    const QDate d = when.date();
    const QTime t = when.time();
    if (d.year() < 0 || d.year() > 9999)
        return when.toString(QStringLiteral("dd.MM.yyyy. HH:mm"));
    QString text(17, QLatin1Char(' '));
    QChar *p = text.data();
    putDigits(p, d.day(), 2);
    p[2] = QLatin1Char('.');
    putDigits(p + 3, d.month(), 2);
    p[5] = QLatin1Char('.');
    putDigits(p + 6, d.year(), 4);
    p[10] = QLatin1Char('.');
    putDigits(p + 12, t.hour(), 2);
    p[14] = QLatin1Char(':');
    putDigits(p + 15, t.minute(), 2);
    return text;
}

qint64 FileDateSortKey(const QString &dateText)
{
    if (dateText.size() != 17 || dateText.at(2) != QLatin1Char('.') ||
        dateText.at(5) != QLatin1Char('.') || dateText.at(10) != QLatin1Char('.') ||
        dateText.at(11) != QLatin1Char(' ') || dateText.at(14) != QLatin1Char(':'))
        return -1;
    const int day = digitsAt(dateText, 0, 2);
    const int month = digitsAt(dateText, 3, 2);
    const int year = digitsAt(dateText, 6, 4);
    const int hour = digitsAt(dateText, 12, 2);
    const int minute = digitsAt(dateText, 15, 2);
    const QDate date(year, month, day);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return -1;
    return date.toJulianDay() * 1440 + hour * 60 + minute;
}

QDateTime FileDateTimeFromEpoch(qint64 secondsSinceEpoch)
{
    QDateTime local = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::LocalTime);
    const QTime t = local.time();
    local.setTime(QTime(t.hour(), t.minute(), t.second() - t.second() % 2));
    return local;
}

QDateTime GetFileDateTime(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QDateTime();
    return FileDateTimeFromEpoch(info.lastModified().toSecsSinceEpoch());
}

QDateTime CurrentYearStart(const QDate &today)
{
    return QDateTime(QDate(today.year(), 1, 1), QTime(0, 0), Qt::LocalTime);
}
