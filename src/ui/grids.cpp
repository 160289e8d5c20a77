#include "grids.h"

#include "devicetable.h"
#include "dialogs.h"
#include "installationtables.h"
#include "memtable.h"
#include "phonetable.h"
#include "seriestype.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>

#include <limits>

namespace
{

bool isEmptyValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

// Integer columns are drawn right-justified unless said otherwise, text
// columns left-justified, as the data-aware grid did.
constexpr Qt::Alignment NumberAlignment = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment TextAlignment = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment Centred = Qt::AlignCenter;

QStringList toTexts(const QList<int> &numbers)
{
    QStringList out;
    for (const int n : numbers)
        out.append(QString::number(n));
    return out;
}

} // namespace

// ---------------------------------------------------------------- models

MemTableModel::MemTableModel(MemTable &table, QList<GridColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), m_table(table), m_columns(std::move(columns))
{
    m_rowCount = tableRowCount();
    connect(&m_table, &MemTable::rowsReset, this, &MemTableModel::resetFromTable);
    connect(&m_table, &MemTable::rowValuesChanged, this, &MemTableModel::rowValuesChanged);
    connect(&m_table, &MemTable::currentRowChanged, this, &MemTableModel::indicatorChanged);
}

int MemTableModel::tableRowCount() const
{
    return m_table.recordCount() + (m_table.state() == MemTable::State::Insert ? 1 : 0);
}

int MemTableModel::columnOfField(int field) const
{
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_columns.at(c).field == field)
            return c;
    }
    return -1;
}

void MemTableModel::resetFromTable()
{
    beginResetModel();
    m_rowCount = tableRowCount();
    endResetModel();
}

void MemTableModel::rowValuesChanged(int position)
{
    if (m_rowCount != tableRowCount()) {
        // Rows came or went without a reset of their own (notifications
        // were held back); announce them now.
        resetFromTable();
        return;
    }
    if (position < 0 || position >= m_rowCount)
        return;
    emit dataChanged(index(position, 0), index(position, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, position, position);
}

void MemTableModel::indicatorChanged()
{
    if (m_rowCount > 0)
        emit headerDataChanged(Qt::Vertical, 0, m_rowCount - 1);
}

bool MemTableModel::isCell(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && !index.parent().isValid() &&
           index.row() < m_rowCount && index.column() < m_columns.size();
}

int MemTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int MemTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant MemTableModel::data(const QModelIndex &index, int role) const
{
    if (!isCell(index))
        return {};
    const GridColumn &col = m_columns.at(index.column());
    const QVariant value = m_table.valueAt(index.row(), col.field);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (col.checkBox || isEmptyValue(value))
            return role == Qt::EditRole && col.checkBox ? value : QVariant(QString());
        return value.toString();
    case Qt::CheckStateRole:
        if (!col.checkBox)
            return {};
        // An empty Boolean is not ticked.
        return !isEmptyValue(value) && value.toBool() ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(col.alignment);
    default:
        return {};
    }
}

bool MemTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isCell(index))
        return false;
    const GridColumn &col = m_columns.at(index.column());
    if (col.readOnly || col.checkBox)
        return false;
    // The grid edits the table's current row; an edit of another row first
    // makes that row current, as moving the cursor there would.
    if (index.row() != m_table.currentPosition() && !m_table.setCurrentPosition(index.row()))
        return false;
    return SetFieldValue(m_table, col.field, value);
}

Qt::ItemFlags MemTableModel::flags(const QModelIndex &index) const
{
    if (!isCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    const GridColumn &col = m_columns.at(index.column());
    // Check-box columns are never edited in place: only a click changes them.
    if (!col.readOnly && !col.checkBox)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant MemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns.at(section).caption;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        return {};
    }
    if (section < 0 || section >= m_rowCount || role != Qt::DisplayRole)
        return {};
    // Row indicator: the current row, marked as browsing, editing or inserting.
    if (section != m_table.currentPosition() || !m_table.hasCurrent())
        return QString();
    switch (m_table.state()) {
    case MemTable::State::Insert:
        return QStringLiteral("*");
    case MemTable::State::Edit:
        return QStringLiteral("I");
    case MemTable::State::Browse:
        break;
    }
    return QStringLiteral("\u25B6");
}

DeviceTableModel::DeviceTableModel(MemTable &table, QObject *parent)
    : MemTableModel(
          table,
          {
              {DeviceTable::SerialNo, QStringLiteral("Serial No:"), 55, Centred, true, false},
              {DeviceTable::DeviceType_calc, QStringLiteral("Type:"), 44, Centred, true, false},
              {DeviceTable::DeviceActive, QStringLiteral("Active:"), 44, Centred, false, true},
              {DeviceTable::DeviceOrder, QStringLiteral("Order:"), 44, NumberAlignment, false,
               false},
              {DeviceTable::DeviceKeyNo, QStringLiteral("BtnNo:"), 44, NumberAlignment, false,
               false},
              {DeviceTable::IsVideoMain, QStringLiteral("Video:"), 44, Centred, false, true},
              {DeviceTable::SeriesTypeStr, QStringLiteral("Series:"), 78, TextAlignment, false,
               false},
          },
          parent)
{
}

PhoneTableModel::PhoneTableModel(MemTable &table, QObject *parent)
    : MemTableModel(
          table,
          {
              {PhoneTable::ID, QStringLiteral("Button:"), 45, NumberAlignment, true, false},
              {PhoneTable::SerialNoRead1, QStringLiteral("PhoneSN1:"), 118, Centred, false, false},
              {PhoneTable::SerialNoRead2, QStringLiteral("PhoneSN2:"), 118, Centred, false, false},
          },
          parent)
{
}

// ---------------------------------------------------------------- editors

QValidator::State PhoneSerialValidator::validate(QString &input, int &) const
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return Acceptable;
    for (const QChar c : text) {
        if (!c.isDigit() || c.unicode() > 127)
            return Invalid;
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    return ok && PhoneTable::isValidPhoneSerial(v) ? Acceptable : Invalid;
}

void GridDelegate::setPickList(int column, const QStringList &items)
{
    m_pickLists.insert(column, items);
}

QColor GridDelegate::bandColor(bool selected, int row)
{
    if (selected)
        return SelectedCellColor;
    return (row + 1) % 2 == 1 ? OddRowColor : EvenRowColor;
}

void GridDelegate::DrawBandedCell(QPainter *painter, QStyleOptionViewItem &option,
                                  const QModelIndex &index, bool selected) const
{
    const QColor background = bandColor(selected, index.row());
    painter->fillRect(option.rect, background);
    option.backgroundBrush = background;
    option.palette.setColor(QPalette::Base, background);
    if (selected) {
        option.font.setBold(true);
        option.palette.setColor(QPalette::Text, Qt::black);
    }
    // Our colours replace the style's selection highlight and focus frame.
    option.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, painter, widget);
}

void GridDelegate::DrawCheckBoxCell(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QModelIndex &index, const QColor &background) const
{
    painter->fillRect(option.rect, background);
    QStyleOptionButton box;
    box.rect = option.rect.adjusted(1, 1, -1, -1);
    box.palette = option.palette;
    box.state = QStyle::State_Enabled;
    box.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                       : QStyle::State_Off;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    // The style hands the check state to the text drawing; our own check box
    // is drawn below, never the style's item indicator.
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    DrawBandedCell(painter, opt, index, selected);
    if (index.data(Qt::CheckStateRole).isValid())
        DrawCheckBoxCell(painter, option, index, bandColor(selected, index.row()));
    painter->restore();
}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                    const QModelIndex &index) const
{
    const int column = index.column();
    const auto *model = qobject_cast<const MemTableModel *>(index.model());
    const bool isInteger = model && model->table().fieldDef(model->column(column).field).type ==
                                        MemTable::FieldType::Integer;
    if (m_pickLists.contains(column)) {
        // A number list also takes a typed number; a text list (the series)
        // takes its own entries only, since any other text means no series.
        auto *combo = new QComboBox(parent);
        combo->setEditable(isInteger);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setFrame(false);
        combo->addItems(m_pickLists.value(column));
        if (isInteger) {
            combo->setValidator(new QIntValidator(std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max(), combo));
        }
        return combo;
    }
    auto *edit = new QLineEdit(parent);
    edit->setFrame(false);
    if (m_serialColumns.contains(column))
        edit->setValidator(new PhoneSerialValidator(edit));
    return edit;
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        // The list's own entry, not only its text: Enter commits the current
        // entry, which would otherwise still be the first one.
        const int entry = combo->findText(text);
        if (entry >= 0)
            combo->setCurrentIndex(entry);
        combo->setCurrentText(text);
        // A key typed into the cell replaces its value, as with the plain
        // editors, which the view selects itself.
        if (combo->lineEdit())
            combo->lineEdit()->selectAll();
    } else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        edit->setText(text);
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                const QModelIndex &index) const
{
    QString text;
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        text = combo->currentText();
        if (!combo->isEditable() && combo->findText(text) < 0)
            return;
    } else if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        // A focus change commits too; an unacceptable text never reaches the table.
        if (!edit->hasAcceptableInput())
            return;
        text = edit->text();
    }
    model->setData(index, text.trimmed(), Qt::EditRole);
}

// ---------------------------------------------------------------- grids

InstallationGrid::InstallationGrid(MemTableModel *model, Dialogs &dialogs, QWidget *parent)
    : QTableView(parent), m_dialogs(dialogs), m_model(model), m_delegate(new GridDelegate(this)),
      m_rowCount(new QLabel(this))
{
    m_model->setParent(this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setCornerButtonEnabled(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setMinimumWidth(24);
    horizontalHeader()->setSectionsClickable(false);
    for (int c = 0; c < m_model->columnCount(); ++c)
        setColumnWidth(c, m_model->column(c).width);

    m_rowCount->setAlignment(Qt::AlignCenter);
    m_rowCount->setToolTip(tr("Number of rows"));

    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        ++m_resets;
        updateRowCount();
        syncFromTable();
    });
    connect(&m_model->table(), &MemTable::currentRowChanged, this,
            &InstallationGrid::syncFromTable);
    updateRowCount();
    syncFromTable();
}

QString InstallationGrid::rowCountText() const
{
    return m_rowCount->text();
}

void InstallationGrid::updateRowCount()
{
    m_rowCount->setText(QString::number(m_model->rowCount()));
}

void InstallationGrid::updateGeometries()
{
    QTableView::updateGeometries();
    // The count sits in the corner above the row indicator.
    const int frame = frameWidth();
    m_rowCount->setGeometry(frame, frame, verticalHeader()->width(), horizontalHeader()->height());
    m_rowCount->raise();
}

void InstallationGrid::syncFromTable()
{
    const MemTable &table = m_model->table();
    const int row = table.hasCurrent() ? table.currentPosition() : -1;
    if (row < 0 || row >= m_model->rowCount()) {
        if (currentIndex().isValid()) {
            m_syncing = true;
            selectionModel()->clearCurrentIndex();
            selectionModel()->clearSelection();
            m_syncing = false;
        }
        return;
    }
    if (currentIndex().row() == row)
        return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    m_syncing = true;
    setCurrentIndex(m_model->index(row, column));
    m_syncing = false;
}

void InstallationGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    const int resetsBefore = m_resets;
    // The base commits an open editor, which may post, reorder and reset.
    QTableView::currentChanged(current, previous);
    if (m_syncing)
        return;
    if (m_resets != resetsBefore) {
        syncFromTable();
        return;
    }
    if (!current.isValid() || current.row() == previous.row())
        return;
    MemTable &table = m_model->table();
    if (current.row() == table.currentPosition())
        return;
    // Leaving a row appended in the grid and never filled drops it, so an
    // accidental Down on the last row leaves no empty row behind.
    if (table.state() == MemTable::State::Insert) {
        const int target = current.row();
        table.cancel();
        if (target < table.recordCount())
            table.setCurrentPosition(target);
        syncFromTable();
        return;
    }
    table.setCurrentPosition(current.row());
    // The table may refuse; the grid then shows where the table stands.
    syncFromTable();
}

void InstallationGrid::keyPressEvent(QKeyEvent *event)
{
    MemTable &table = m_model->table();
    const bool editing = state() == QAbstractItemView::EditingState;
    if (!editing && event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        if (table.hasCurrent())
            deleteCurrentRow();
        event->accept();
        return;
    }
    if (!editing && event->modifiers() == Qt::NoModifier) {
        const bool lastRow =
            currentIndex().isValid() && currentIndex().row() == m_model->rowCount() - 1;
        if (event->key() == Qt::Key_Insert ||
            (event->key() == Qt::Key_Down && (lastRow || m_model->rowCount() == 0) &&
             table.state() != MemTable::State::Insert)) {
            // The table decides whether the grid may add a row.
            table.append(MemTable::InsertOrigin::Grid);
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Escape && table.state() == MemTable::State::Insert) {
            table.cancel();
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

DeviceGrid::DeviceGrid(InstallationTables &tables, Dialogs &dialogs, QWidget *parent)
    : InstallationGrid(new DeviceTableModel(tables.tblDeviceSerials()), dialogs, parent),
      m_tables(tables)
{
    setObjectName(QStringLiteral("CRDBGrid2"));
    gridDelegate()->setPickList(DeviceTableModel::ColOrder, toTexts(DeviceOrderChoices()));
    gridDelegate()->setPickList(DeviceTableModel::ColSeries, SeriesChoices());
    refillKeyNoChoices();
    connect(&m_tables, &InstallationTables::currentDeviceChanged, this,
            &DeviceGrid::refillKeyNoChoices);
    connect(this, &QAbstractItemView::clicked, this, &DeviceGrid::cellClicked);
}

DeviceTableModel *DeviceGrid::deviceModel() const
{
    return static_cast<DeviceTableModel *>(tableModel());
}

void DeviceGrid::refillKeyNoChoices()
{
    gridDelegate()->setPickList(DeviceTableModel::ColKeyNo,
                                toTexts(m_tables.currentKeyNoChoices()));
}

void DeviceGrid::cellClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    // CRDBGrid2CellClick: the click lands on the current row, which the press
    // has already made the table's current row.
    m_tables.deviceCellClicked(deviceModel()->column(index.column()).field);
}

bool DeviceGrid::deleteCurrentRow()
{
    // The device grid deletes without a question.
    return m_tables.tblDeviceSerials().deleteCurrent();
}

void DeviceGrid::keyPressEvent(QKeyEvent *event)
{
    // An Enter that ends an edit also reaches the grid, before the typed
    // value is committed; closeEditor checks that one after the commit.
    const bool enter =
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !isEditing();
    InstallationGrid::keyPressEvent(event);
    if (enter)
        m_tables.deviceEnterPressed();
}

void DeviceGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    InstallationGrid::closeEditor(editor, hint);
    // Enter in an editor ends the edit with this hint; the key never reaches
    // the grid, yet the typed count must be checked like any Enter.
    if (hint == QAbstractItemDelegate::SubmitModelCache)
        m_tables.deviceEnterPressed();
}

PhoneGrid::PhoneGrid(InstallationTables &tables, Dialogs &dialogs, QWidget *parent)
    : InstallationGrid(new PhoneTableModel(tables.tblPhoneSerials()), dialogs, parent)
{
    setObjectName(QStringLiteral("CRDBGrid1"));
    gridDelegate()->setSerialColumn(PhoneTableModel::ColPhoneSN1);
    gridDelegate()->setSerialColumn(PhoneTableModel::ColPhoneSN2);
}

PhoneTableModel *PhoneGrid::phoneModel() const
{
    return static_cast<PhoneTableModel *>(tableModel());
}

bool PhoneGrid::deleteCurrentRow()
{
    // The grid's standard question before a delete.
    if (m_dialogs.message(Dialogs::Kind::Confirmation, QStringLiteral("Delete record?"),
                          Dialogs::Buttons::OkCancel) == Dialogs::Answer::Cancel)
        return false;
    return tableModel()->table().deleteCurrent();
}
