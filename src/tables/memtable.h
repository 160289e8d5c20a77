#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

// In-memory dataset behind the device table and the phone table: typed
// fields that may be empty, an optional ordering and filter, a current row,
// an edit or insert buffer that is posted, bookmarks, locate and lookup.
//
// An empty field is a null QVariant. Values are stored normalised: integer
// fields as int, Boolean fields as bool, text fields as QString.
//
// Positions count the rows of the view (ordering and filter applied), from 0.
// While a row is being inserted it is not yet part of the view; it sits at
// position recordCount() until it is posted.
class MemTable : public QObject
{
    Q_OBJECT
public:
    enum class FieldType { Integer, Boolean, Text, Calculated };
    struct FieldDef {
        QString name;
        FieldType type = FieldType::Integer;
        int size = 0; // maximum length of a text field
        bool autoIncrement = false;
    };
    enum class State { Browse, Edit, Insert };
    // Who starts an insert: the program itself or the grid the technician uses.
    enum class InsertOrigin { Code, Grid };
    // Row identity that survives reordering and filtering; 0 is no row.
    using Bookmark = quint64;

    int fieldCount() const { return int(m_fields.size()); }
    const FieldDef &fieldDef(int field) const { return m_fields.at(field); }
    // Index of the field called `name` (case-insensitive), -1 when unknown.
    int fieldIndex(const QString &name) const;

    int recordCount() const { return int(m_view.size()); }
    int totalRecordCount() const { return int(m_rows.size()); } // ignores the filter
    bool isEmpty() const { return m_view.isEmpty(); }

    // Cursor. Every move posts a pending edit or insert first.
    bool hasCurrent() const { return m_state == State::Insert || m_pos >= 0; }
    int currentPosition() const;
    bool setCurrentPosition(int position);
    void first();
    void last();
    void next();
    void prior();
    // True after next() found no further row, after last(), and on an empty view.
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }

    // Values of the current row; while editing, of the edit buffer.
    QVariant value(int field) const;
    std::optional<qint32> intValue(int field) const;
    bool boolValue(int field) const; // an empty field counts as false
    QString textValue(int field) const;
    QVariant valueAt(int position, int field) const;

    State state() const { return m_state; }
    bool edit();
    bool append(InsertOrigin origin = InsertOrigin::Code);
    // Assigns a field of the edit or insert buffer; false when the table is
    // not editing, the field is read-only, or the value does not fit.
    bool setValue(int field, const QVariant &value);
    bool post();
    void cancel();
    bool deleteCurrent();
    void clear();

    Bookmark bookmark() const;
    bool bookmarkValid(Bookmark bookmark) const;
    bool gotoBookmark(Bookmark bookmark);

    // First row of the view whose field equals `value`; makes it current.
    bool locate(int field, const QVariant &value);
    // `resultField` of the first row whose `keyField` equals `keyValue`,
    // without moving; nullopt when no row matches.
    std::optional<QVariant> lookup(int keyField, const QVariant &keyValue, int resultField) const;

    // Restricts the view to the rows the table's filter accepts.
    void setFiltered(bool on);
    bool isFiltered() const { return m_filtered; }

    // Suspends view notifications (nestable). Field changes still signal;
    // when enabled again, one rowsReset follows if anything happened, and
    // currentRowChanged if the current row is not the one it was.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

signals:
    // A field of the current row was assigned, changed value or not.
    void fieldChanged(int field);
    // A field of the current row was assigned a value other than its own.
    void fieldValueChanged(int field);
    // Another row became current.
    void currentRowChanged();
    // Rows were added, removed, reordered or filtered: views rebuild.
    void rowsReset();
    // Values shown at `position` changed.
    void rowValuesChanged(int position);

protected:
    MemTable(QVector<FieldDef> fields, QObject *parent);

    virtual bool lessThan(const QVector<QVariant> &, const QVector<QVariant> &) const
    {
        return false;
    }
    virtual bool filterAccepts(const QVector<QVariant> &) const { return true; }
    virtual QVariant calculatedValue(int, const QVector<QVariant> &) const { return {}; }
    // Last word on a normalised value before it is assigned.
    virtual bool acceptsValue(int, const QVariant &) const { return true; }
    // False cancels the insert silently.
    virtual bool beforeInsert(InsertOrigin) { return true; }

private:
    struct Row {
        Bookmark key = 0;
        QVector<QVariant> values;
    };

    bool validField(int field) const { return field >= 0 && field < fieldCount(); }
    bool normalize(int field, const QVariant &in, QVariant &out) const;
    bool normalizeForCompare(int field, const QVariant &in, QVariant &out) const;
    QVariant fieldValue(int field, const QVector<QVariant> &values) const;
    const QVector<QVariant> *currentValues() const;
    int findPosition(int field, const QVariant &normalized) const;
    Bookmark currentKey() const;
    void rebuildView(Bookmark keep, int fallbackPosition);
    void checkBrowseMode();
    void moveTo(int position);
    void noteCurrent(Bookmark before);
    void notifyReset();
    void notifyRowValues(int position);

    QVector<FieldDef> m_fields;
    QVector<Row> m_rows; // in append order
    QVector<int> m_view; // indexes into m_rows, filtered and ordered
    int m_pos = -1;      // current view position; kept while inserting
    State m_state = State::Browse;
    Row m_buffer;
    bool m_filtered = false;
    bool m_eof = true;
    bool m_bof = true;
    Bookmark m_nextKey = 1;
    qint32 m_nextAutoIncrement = 1;
    int m_disableCount = 0;
    bool m_pendingReset = false;
    Bookmark m_keyAtDisable = 0;
};

// Sets one field of the current row and posts it, entering edit mode first
// when the table is browsing. False when there is no current row or the value
// is refused; an edit begun here is then cancelled.
bool SetFieldValue(MemTable &table, int field, const QVariant &value);

// Sets one field on every row of the view, each edited and posted in turn,
// with view notifications suspended. Stops at the first refused assignment.
// Always returns to the row that was current and resumes notifications.
bool SetFieldForAll(MemTable &table, int field, const QVariant &value);
