#include "filelistview.h"

#include "filelistmodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

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
    setColumnWidth(0, NameWidth);
    setColumnWidth(1, DateWidth);
    connect(header(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        const int max = section == 0 ? NameMaxWidth : DateMaxWidth;
        if (size > max)
            setColumnWidth(section, max);
    });
    QPalette pal = palette();
    pal.setColor(QPalette::Base, FileListModel::background());
    pal.setColor(QPalette::AlternateBase, FileListModel::background());
    setPalette(pal);
    // Grid lines between the cells, as in a report view.
    setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #dcd8cc; "
                                 "border-bottom: 1px solid #dcd8cc; }"));

    connect(&model, &FileListModel::selectionRequested, this, &FileListView::showSelection);
    connect(&model, &QAbstractItemModel::modelReset, this, [this]() { showSelection(-1); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                m_model.setSelectedFromView(current.isValid() ? current.row() : -1);
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
