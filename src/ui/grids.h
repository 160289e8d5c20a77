#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QValidator>

class Dialogs;
class InstallationTables;
class MemTable;
class QLabel;

// Cell colours of `DrawBandedCell`.
inline const QColor SelectedCellColor(192, 220, 192);
inline const QColor OddRowColor(255, 255, 255);
inline const QColor EvenRowColor(255, 251, 240);

// One column of a grid: what it shows and how it is edited.
struct GridColumn {
    int field;
    QString caption;
    int width;
    Qt::Alignment alignment;
    bool readOnly;
    bool checkBox; // drawn by `DrawCheckBoxCell`, toggled only by a click
};

// Table model over a MemTable. Rows are the table's view; while the table
// inserts, the pending row is shown after the last one. The row count is
// cached and changed only inside a model reset, so views never see a count
// the model has not announced (the table may change while its notifications
// are suspended).
class MemTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    MemTableModel(MemTable &table, QList<GridColumn> columns, QObject *parent = nullptr);

    MemTable &table() const { return m_table; }
    const GridColumn &column(int column) const { return m_columns.at(column); }
    // Column showing `field`, -1 when none does.
    int columnOfField(int field) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int tableRowCount() const;
    bool isCell(const QModelIndex &index) const;
    void resetFromTable();
    void rowValuesChanged(int position);
    void indicatorChanged();

    MemTable &m_table;
    QList<GridColumn> m_columns;
    int m_rowCount = 0;
};

// Columns of `CRDBGrid2` over `tblDeviceSerials`.
class DeviceTableModel : public MemTableModel
{
    Q_OBJECT
public:
    enum Column { ColSerialNo, ColType, ColActive, ColOrder, ColKeyNo, ColVideo, ColSeries };
    explicit DeviceTableModel(MemTable &table, QObject *parent = nullptr);
};

// Columns of `CRDBGrid1` over `tblPhoneSerials`.
class PhoneTableModel : public MemTableModel
{
    Q_OBJECT
public:
    enum Column { ColButton, ColPhoneSN1, ColPhoneSN2 };
    explicit PhoneTableModel(MemTable &table, QObject *parent = nullptr);
};

// A phone serial as the door-station memory can hold it: empty (no phone) or
// a decimal number from 0 to 1048575. Anything else cannot even be typed.
class PhoneSerialValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// Painting and editors of both grids: `DrawBandedCell` for every data cell,
// `DrawCheckBoxCell` over check-box columns, pick lists as editable combo
// boxes, and validated line editors for numbers.
class GridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Pick list of a column; an empty list means a plain line editor.
    void setPickList(int column, const QStringList &items);
    QStringList pickList(int column) const { return m_pickLists.value(column); }
    // Columns whose line editor takes only phone serials.
    void setSerialColumn(int column) { m_serialColumns.append(column); }

    // Background of a data cell: light green when selected, else white for
    // odd rows and cream for even ones (rows counted from 1).
    static QColor bandColor(bool selected, int row);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    void DrawBandedCell(QPainter *painter, QStyleOptionViewItem &option, const QModelIndex &index,
                        bool selected) const;
    void DrawCheckBoxCell(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index, const QColor &background) const;

    QHash<int, QStringList> m_pickLists;
    QList<int> m_serialColumns;
};

// Common behaviour of both grids: the grid's current row is the table's
// current row in both directions, a row indicator, the row count in the
// corner, appending with Insert or Down on the last row (the table decides
// whether the grid may), and the delete shortcut Ctrl+Delete.
class InstallationGrid : public QTableView
{
    Q_OBJECT
public:
    MemTableModel *tableModel() const { return m_model; }
    GridDelegate *gridDelegate() const { return m_delegate; }
    // Text shown in the corner above the row indicator: the number of rows.
    QString rowCountText() const;
    // Whether an in-place editor is open.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

protected:
    InstallationGrid(MemTableModel *model, Dialogs &dialogs, QWidget *parent);

    // The delete shortcut; true when the row was removed.
    virtual bool deleteCurrentRow() = 0;

    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void updateGeometries() override;

    Dialogs &m_dialogs;

private:
    void syncFromTable();
    void updateRowCount();

    MemTableModel *m_model;
    GridDelegate *m_delegate;
    QLabel *m_rowCount;
    bool m_syncing = false;
    int m_resets = 0;
};

// `CRDBGrid2`: the device grid.
class DeviceGrid : public InstallationGrid
{
    Q_OBJECT
public:
    DeviceGrid(InstallationTables &tables, Dialogs &dialogs, QWidget *parent = nullptr);

    DeviceTableModel *deviceModel() const;
    // Current choices of the "BtnNo:" column, as text.
    QStringList keyNoPickList() const
    {
        return gridDelegate()->pickList(DeviceTableModel::ColKeyNo);
    }

protected:
    bool deleteCurrentRow() override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void refillKeyNoChoices();
    void cellClicked(const QModelIndex &index);

    InstallationTables &m_tables;
};

// `CRDBGrid1`: the phone grid.
class PhoneGrid : public InstallationGrid
{
    Q_OBJECT
public:
    PhoneGrid(InstallationTables &tables, Dialogs &dialogs, QWidget *parent = nullptr);

    PhoneTableModel *phoneModel() const;

protected:
    bool deleteCurrentRow() override;
};
