#include "filelistview.h"

#include "filelistmodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

namespace
{

// Widths of "File Name" and "Date", and how wide each may be dragged.
constexpr int NameWidth = 200;
constexpr int NameMaxWidth = 250;
constexpr int DateWidth = 105;
constexpr int DateMaxWidth = 125;

} // namespace

FileListView::FileListView(FileListModel &model, QWidget *parent)
    : QTreeView(parent), m_model(model)
{
    setModel(&model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps 100,000 entries cheap to lay out
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    // The widths suit the technicians' Windows font; where the font is
    // wider, the date column grows so that the time is never cut off.
    const int dateText = fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000. 00:00")) +
                         2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 12;
    const int dateWidth = qMax(DateWidth, dateText);
    const int dateMax = qMax(DateMaxWidth, dateWidth);
    m_nameWidth = NameWidth;
    setColumnWidth(0, NameWidth);
    setColumnWidth(1, dateWidth);
    connect(header(), &QHeaderView::sectionResized, this,
            [this, dateMax](int section, int, int size) {
                const int max = section == 0 ? NameMaxWidth : dateMax;
                if (size > max)
                    setColumnWidth(section, max);
            });
    QPalette pal = palette();
    pal.setColor(QPalette::Base, FileListModel::background());
    pal.setColor(QPalette::AlternateBase, FileListModel::background());
    setPalette(pal);
    // Grid lines between the cells, as in a report view.
    // A style sheet for the items must name the selection colours too, or
    // the selected entry loses its highlight.
    setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #dcd8cc; "
                                 "border-bottom: 1px solid #dcd8cc; }"
                                 "QTreeView::item:selected { background: palette(highlight); "
                                 "color: palette(highlighted-text); }"));

    connect(&model, &FileListModel::selectionRequested, this, &FileListView::showSelection);
    connect(&model, &QAbstractItemModel::modelReset, this, [this]() { showSelection(-1); });
    // The selected entry, not the current one: after a delete the view moves
    // its current index on, but nothing is selected until the technician says so.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this]() {
        const QModelIndexList rows = selectionModel()->selectedRows();
        m_model.setSelectedFromView(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit entryDoubleClicked();
    });
}

int FileListView::count() const
{
    return m_model.count();
}

void FileListView::showSelection(int row)
{
    const QSignalBlocker blocker(selectionModel());
    selectionModel()->clearSelection();
    if (row < 0) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        viewport()->update();
        return;
    }
    const QModelIndex index = m_model.index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index);
    viewport()->update();
}

void FileListView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    // In a narrow view the name gives way, so that the date stays whole
    // and no horizontal scroll bar appears.
    const int room = viewport()->width() - columnWidth(1);
    const int name = qBound(80, room, m_nameWidth);
    if (columnWidth(0) != name)
        setColumnWidth(0, name);
}

void FileListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        emit deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FileListView::mousePressEvent(QMouseEvent *event)
{
    QTreeView::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    emit entryClicked(index.isValid() ? index.row() : -1);
}
