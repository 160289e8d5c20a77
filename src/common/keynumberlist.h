#pragma once

#include <QDateTime>
#include <QStringList>

// A sorted list of strings that refuses duplicates, as the key-press
// monitor keeps the phone serials it has seen.
class SortedStringList
{
public:
    // False (and nothing added) when the string is already in the list.
    bool add(const QString &text);
    bool contains(const QString &text) const;
    int indexOf(const QString &text) const;
    void clear() { m_items.clear(); }
    int count() const { return int(m_items.size()); }
    const QStringList &items() const { return m_items; }

private:
    QStringList m_items;
};

// Date and time formats for file dates in the file lists: short date
// "dd.MM.yyyy", short time "HH:mm", long time "HH:mm:ss" (Qt notation).
struct DateTimeFormat {
    QString shortDate = QStringLiteral("dd.MM.yyyy");
    QChar dateSeparator = QLatin1Char('.');
    QString shortTime = QStringLiteral("HH:mm");
    QString longTime = QStringLiteral("HH:mm:ss");
    QChar timeSeparator = QLatin1Char(':');

    QString formatDate(const QDate &date) const { return date.toString(shortDate); }
    QString formatDateTime(const QDateTime &when) const
    {
        return when.toString(shortDate + QLatin1Char(' ') + longTime);
    }
};

DateTimeFormat CreateMyDTFmt();
