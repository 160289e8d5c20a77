#pragma once

#include <QDateTime>
#include <QString>

// Date text of a file entry: "dd.MM.yyyy. HH:nn", for example
// "05.03.2019. 14:07"; empty for an invalid date-time.
QString FileDateText(const QDateTime &when);

// Reads a date text back to the minute, as a number that orders like the
// date-time; -1 for a text that is not a date text (it sorts last).
qint64 FileDateSortKey(const QString &dateText);

// Local last-write time of a file, seconds rounded down to an even number
// (the two-second steps of FAT dates); invalid when the file cannot be found.
QDateTime GetFileDateTime(const QString &path);
// The same conversion for a last-write time in seconds since the epoch.
QDateTime FileDateTimeFromEpoch(qint64 secondsSinceEpoch);

// "Load only files from current year": files whose last-write time is on or
// after 00:00 local time of 1 January of `today`'s year (future ones too).
QDateTime CurrentYearStart(const QDate &today);
