#include "fieldutil.h"

QString GetField(const QString &text, const QString &delimiter, int n)
{
    if (n < 1 || n > 255 || text.isEmpty())
        return QString();
    qsizetype start = 0;
    for (int field = 1;; ++field) {
        const qsizetype at = delimiter.isEmpty() ? -1 : text.indexOf(delimiter, start);
        if (at < 0) {
            // No further delimiter: this field runs to the end and the walk stops.
            return field == n ? text.mid(start) : QString();
        }
        if (field == n)
            return text.mid(start, at - start);
        start = at + delimiter.size();
    }
}
