#include "memtable.h"

#include <algorithm>
#include <limits>

namespace
{

bool isEmptyVariant(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

bool toInt32(const QVariant &in, QVariant &out)
{
    switch (in.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
    case QMetaType::UChar: {
        const qlonglong v = in.toLongLong();
        if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
            return false;
        out = int(v);
        return true;
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong v = in.toULongLong();
        if (v > qulonglong(std::numeric_limits<qint32>::max()))
            return false;
        out = int(v);
        return true;
    }
    case QMetaType::QString: {
        const QString text = in.toString().trimmed();
        if (text.isEmpty()) {
            out = QVariant();
            return true;
        }
        bool ok = false;
        const int v = text.toInt(&ok, 10);
        if (!ok)
            return false;
        out = v;
        return true;
    }
    default:
        return false;
    }
}

bool toBoolean(const QVariant &in, QVariant &out)
{
    if (in.typeId() == QMetaType::Bool) {
        out = in.toBool();
        return true;
    }
    if (in.typeId() != QMetaType::QString)
        return false;
    const QString text = in.toString().trimmed();
    if (text.isEmpty())
        out = QVariant();
    else if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        out = true;
    else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        out = false;
    else
        return false;
    return true;
}

} // namespace

MemTable::MemTable(QVector<FieldDef> fields, QObject *parent)
    : QObject(parent), m_fields(std::move(fields))
{
}

int MemTable::fieldIndex(const QString &name) const
{
    for (int i = 0; i < fieldCount(); ++i) {
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool MemTable::normalize(int field, const QVariant &in, QVariant &out) const
{
    if (isEmptyVariant(in)) {
        out = QVariant();
        return true;
    }
    const FieldDef &def = m_fields.at(field);
    switch (def.type) {
    case FieldType::Integer:
        return toInt32(in, out);
    case FieldType::Boolean:
        return toBoolean(in, out);
    case FieldType::Text: {
        if (!in.canConvert<QString>())
            return false;
        const QString text = in.toString();
        // A text field keeps at most its size, as the dataset always did.
        out = text.isEmpty() ? QVariant() : QVariant(def.size > 0 ? text.left(def.size) : text);
        return true;
    }
    case FieldType::Calculated:
        return false;
    }
    return false;
}

bool MemTable::normalizeForCompare(int field, const QVariant &in, QVariant &out) const
{
    if (m_fields.at(field).type != FieldType::Calculated)
        return normalize(field, in, out);
    const QString text = isEmptyVariant(in) ? QString() : in.toString();
    out = text.isEmpty() ? QVariant() : QVariant(text);
    return true;
}

QVariant MemTable::fieldValue(int field, const QVector<QVariant> &values) const
{
    if (m_fields.at(field).type == FieldType::Calculated)
        return calculatedValue(field, values);
    return values.at(field);
}

const QVector<QVariant> *MemTable::currentValues() const
{
    if (m_state != State::Browse)
        return &m_buffer.values;
    if (m_pos < 0)
        return nullptr;
    return &m_rows.at(m_view.at(m_pos)).values;
}

MemTable::Bookmark MemTable::currentKey() const
{
    if (m_state == State::Insert)
        return m_buffer.key;
    return m_pos >= 0 ? m_rows.at(m_view.at(m_pos)).key : 0;
}

int MemTable::currentPosition() const
{
    return m_state == State::Insert ? recordCount() : m_pos;
}

void MemTable::rebuildView(Bookmark keep, int fallbackPosition)
{
    m_view.clear();
    for (int i = 0; i < m_rows.size(); ++i) {
        if (!m_filtered || filterAccepts(m_rows.at(i).values))
            m_view.append(i);
    }
    // Stable, so rows with equal keys keep their append order.
    std::stable_sort(m_view.begin(), m_view.end(), [this](int a, int b) {
        return lessThan(m_rows.at(a).values, m_rows.at(b).values);
    });
    m_pos = -1;
    if (keep != 0) {
        for (int i = 0; i < m_view.size(); ++i) {
            if (m_rows.at(m_view.at(i)).key == keep) {
                m_pos = i;
                break;
            }
        }
    }
    if (m_pos < 0 && !m_view.isEmpty())
        m_pos = std::clamp(fallbackPosition, 0, int(m_view.size()) - 1);
    if (m_view.isEmpty())
        m_eof = m_bof = true;
}

void MemTable::checkBrowseMode()
{
    if (m_state != State::Browse)
        post();
}

void MemTable::noteCurrent(Bookmark before)
{
    if (m_disableCount == 0 && currentKey() != before)
        emit currentRowChanged();
}

void MemTable::notifyReset()
{
    if (m_disableCount > 0)
        m_pendingReset = true;
    else
        emit rowsReset();
}

void MemTable::notifyRowValues(int position)
{
    if (m_disableCount > 0)
        m_pendingReset = true;
    else
        emit rowValuesChanged(position);
}

void MemTable::moveTo(int position)
{
    const Bookmark before = currentKey();
    m_pos = position;
    noteCurrent(before);
}

bool MemTable::setCurrentPosition(int position)
{
    checkBrowseMode();
    if (position < 0 || position >= recordCount())
        return false;
    m_eof = m_bof = false;
    moveTo(position);
    return true;
}

void MemTable::first()
{
    checkBrowseMode();
    m_bof = true;
    m_eof = m_view.isEmpty();
    moveTo(m_view.isEmpty() ? -1 : 0);
}

void MemTable::last()
{
    checkBrowseMode();
    m_eof = true;
    m_bof = m_view.isEmpty();
    moveTo(int(m_view.size()) - 1);
}

void MemTable::next()
{
    checkBrowseMode();
    m_bof = m_view.isEmpty();
    if (m_pos + 1 < m_view.size()) {
        m_eof = false;
        moveTo(m_pos + 1);
    } else {
        m_eof = true;
    }
}

void MemTable::prior()
{
    checkBrowseMode();
    m_eof = m_view.isEmpty();
    if (m_pos > 0) {
        m_bof = false;
        moveTo(m_pos - 1);
    } else {
        m_bof = true;
    }
}

QVariant MemTable::value(int field) const
{
    const QVector<QVariant> *values = currentValues();
    if (!values || !validField(field))
        return {};
    return fieldValue(field, *values);
}

std::optional<qint32> MemTable::intValue(int field) const
{
    const QVariant v = value(field);
    if (isEmptyVariant(v))
        return std::nullopt;
    return v.toInt();
}

bool MemTable::boolValue(int field) const
{
    const QVariant v = value(field);
    return !isEmptyVariant(v) && v.toBool();
}

QString MemTable::textValue(int field) const
{
    const QVariant v = value(field);
    return isEmptyVariant(v) ? QString() : v.toString();
}

QVariant MemTable::valueAt(int position, int field) const
{
    if (!validField(field))
        return {};
    if (m_state == State::Insert && position == recordCount())
        return fieldValue(field, m_buffer.values);
    if (position < 0 || position >= recordCount())
        return {};
    if (m_state == State::Edit && position == m_pos)
        return fieldValue(field, m_buffer.values);
    return fieldValue(field, m_rows.at(m_view.at(position)).values);
}

bool MemTable::edit()
{
    if (m_state != State::Browse)
        return true;
    if (m_pos < 0)
        return false;
    m_buffer = m_rows.at(m_view.at(m_pos));
    m_state = State::Edit;
    return true;
}

bool MemTable::append(InsertOrigin origin)
{
    checkBrowseMode();
    if (!beforeInsert(origin))
        return false;
    const Bookmark before = currentKey();
    m_buffer.key = m_nextKey++;
    m_buffer.values = QVector<QVariant>(fieldCount());
    for (int f = 0; f < fieldCount(); ++f) {
        if (m_fields.at(f).autoIncrement)
            m_buffer.values[f] = m_nextAutoIncrement++;
    }
    m_state = State::Insert;
    m_eof = m_bof = false;
    notifyReset();
    noteCurrent(before);
    return true;
}

bool MemTable::setValue(int field, const QVariant &value)
{
    if (m_state == State::Browse || !validField(field))
        return false;
    const FieldDef &def = m_fields.at(field);
    if (def.type == FieldType::Calculated || def.autoIncrement)
        return false;
    QVariant normalized;
    if (!normalize(field, value, normalized) || !acceptsValue(field, normalized))
        return false;
    const bool changed = m_buffer.values.at(field) != normalized;
    m_buffer.values[field] = normalized;
    notifyRowValues(currentPosition());
    emit fieldChanged(field);
    if (changed)
        emit fieldValueChanged(field);
    return true;
}

bool MemTable::post()
{
    if (m_state == State::Browse)
        return false;
    const bool inserting = m_state == State::Insert;
    const Bookmark key = m_buffer.key;
    const int oldPosition = currentPosition();
    const QVector<int> oldView = m_view;
    if (inserting)
        m_rows.append(m_buffer);
    else
        m_rows[m_view.at(m_pos)].values = m_buffer.values;
    m_state = State::Browse;
    m_buffer = Row();
    // The posted row may move (ordering) or leave the view (filter).
    rebuildView(key, oldPosition);
    m_eof = m_bof = m_view.isEmpty();
    if (inserting || m_view != oldView)
        notifyReset();
    else
        notifyRowValues(m_pos);
    noteCurrent(key);
    return true;
}

void MemTable::cancel()
{
    if (m_state == State::Edit) {
        m_state = State::Browse;
        m_buffer = Row();
        notifyRowValues(m_pos);
    } else if (m_state == State::Insert) {
        const Bookmark before = currentKey();
        m_state = State::Browse;
        m_buffer = Row();
        notifyReset();
        noteCurrent(before);
    }
}

bool MemTable::deleteCurrent()
{
    if (m_state == State::Insert) {
        cancel();
        return true;
    }
    if (m_pos < 0)
        return false;
    m_state = State::Browse;
    m_buffer = Row();
    const Bookmark before = currentKey();
    const int position = m_pos;
    const bool wasLast = position == m_view.size() - 1;
    m_rows.remove(m_view.at(position));
    // The row after the deleted one becomes current; after the last one,
    // its predecessor, with eof set so that delete-while-walking loops end.
    rebuildView(0, wasLast ? position - 1 : position);
    m_eof = wasLast || m_view.isEmpty();
    m_bof = m_view.isEmpty();
    notifyReset();
    noteCurrent(before);
    return true;
}

void MemTable::clear()
{
    const Bookmark before = currentKey();
    m_state = State::Browse;
    m_buffer = Row();
    m_rows.clear();
    m_view.clear();
    m_pos = -1;
    m_eof = m_bof = true;
    notifyReset();
    noteCurrent(before);
}

MemTable::Bookmark MemTable::bookmark() const
{
    return m_state == State::Insert ? 0 : currentKey();
}

bool MemTable::bookmarkValid(Bookmark bookmark) const
{
    if (bookmark == 0)
        return false;
    return std::any_of(m_view.cbegin(), m_view.cend(),
                       [&](int index) { return m_rows.at(index).key == bookmark; });
}

bool MemTable::gotoBookmark(Bookmark bookmark)
{
    checkBrowseMode();
    if (bookmark == 0)
        return false;
    for (int i = 0; i < m_view.size(); ++i) {
        if (m_rows.at(m_view.at(i)).key == bookmark) {
            m_eof = m_bof = false;
            moveTo(i);
            return true;
        }
    }
    return false;
}

int MemTable::findPosition(int field, const QVariant &normalized) const
{
    for (int i = 0; i < m_view.size(); ++i) {
        if (fieldValue(field, m_rows.at(m_view.at(i)).values) == normalized)
            return i;
    }
    return -1;
}

bool MemTable::locate(int field, const QVariant &value)
{
    checkBrowseMode();
    QVariant normalized;
    if (!validField(field) || !normalizeForCompare(field, value, normalized))
        return false;
    const int position = findPosition(field, normalized);
    if (position < 0)
        return false;
    m_eof = m_bof = false;
    moveTo(position);
    return true;
}

std::optional<QVariant> MemTable::lookup(int keyField, const QVariant &keyValue,
                                         int resultField) const
{
    QVariant normalized;
    if (!validField(keyField) || !validField(resultField) ||
        !normalizeForCompare(keyField, keyValue, normalized))
        return std::nullopt;
    const int position = findPosition(keyField, normalized);
    if (position < 0)
        return std::nullopt;
    return fieldValue(resultField, m_rows.at(m_view.at(position)).values);
}

void MemTable::setFiltered(bool on)
{
    if (on == m_filtered)
        return;
    checkBrowseMode();
    const Bookmark before = currentKey();
    m_filtered = on;
    // The current row stays current when the view still shows it.
    rebuildView(before, 0);
    m_eof = m_bof = m_view.isEmpty();
    notifyReset();
    noteCurrent(before);
}

void MemTable::disableControls()
{
    if (m_disableCount++ == 0) {
        m_keyAtDisable = currentKey();
        m_pendingReset = false;
    }
}

void MemTable::enableControls()
{
    if (m_disableCount == 0 || --m_disableCount > 0)
        return;
    if (m_pendingReset) {
        m_pendingReset = false;
        emit rowsReset();
    }
    if (currentKey() != m_keyAtDisable)
        emit currentRowChanged();
}

bool SetFieldValue(MemTable &table, int field, const QVariant &value)
{
    if (!table.hasCurrent())
        return false;
    const bool startedEdit = table.state() == MemTable::State::Browse;
    if (startedEdit && !table.edit())
        return false;
    if (!table.setValue(field, value)) {
        if (startedEdit)
            table.cancel();
        return false;
    }
    return table.post();
}

bool SetFieldForAll(MemTable &table, int field, const QVariant &value)
{
    table.post(); // a pending edit belongs to the row we return to
    const MemTable::Bookmark original = table.bookmark();
    table.disableControls();
    // Collected first: an assignment may reorder the rows or take them out
    // of a filtered view, and every row must be visited exactly once.
    QVector<MemTable::Bookmark> rows;
    for (table.first(); !table.eof(); table.next())
        rows.append(table.bookmark());
    bool ok = true;
    for (const MemTable::Bookmark row : rows) {
        if (!table.gotoBookmark(row))
            continue;
        if (!SetFieldValue(table, field, value)) {
            ok = false;
            break;
        }
    }
    if (!table.gotoBookmark(original))
        table.first();
    table.enableControls();
    return ok;
}
