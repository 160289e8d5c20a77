#include "keynumberlist.h"

#include <algorithm>

int SortedStringList::indexOf(const QString &text) const
{
    const auto it = std::lower_bound(m_items.begin(), m_items.end(), text);
    return (it != m_items.end() && *it == text) ? int(it - m_items.begin()) : -1;
}

bool SortedStringList::contains(const QString &text) const
{
    return indexOf(text) >= 0;
}

bool SortedStringList::add(const QString &text)
{
    const auto it = std::lower_bound(m_items.begin(), m_items.end(), text);
    if (it != m_items.end() && *it == text)
        return false;
    m_items.insert(it, text);
    return true;
}

DateTimeFormat CreateMyDTFmt()
{
    return DateTimeFormat();
}
