#include "filelistmodel.h"

#include <algorithm>
#include <numeric>

FileListModel::FileListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const FileEntry &e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? e.name : e.dateText;
    case Qt::ForegroundRole:
        return m_textNormal ? QVariant() : QVariant(background());
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("File Name") : QStringLiteral("Date");
}

void FileListModel::clear()
{
    beginResetModel();
    m_entries.clear();
    m_selected = -1;
    endResetModel();
}

void FileListModel::append(const QVector<FileEntry> &entries)
{
    if (entries.isEmpty())
        return;
    const int first = int(m_entries.size());
    beginInsertRows(QModelIndex(), first, first + int(entries.size()) - 1);
    m_entries += entries;
    endInsertRows();
}

void FileListModel::insertTop(const FileEntry &entry)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_entries.prepend(entry);
    if (m_selected >= 0)
        ++m_selected;
    endInsertRows();
}

void FileListModel::removeEntry(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_entries.removeAt(row);
    if (m_selected == row)
        m_selected = -1;
    else if (m_selected > row)
        --m_selected;
    endRemoveRows();
}

void FileListModel::renameEntry(int row, const QString &name)
{
    if (row < 0 || row >= m_entries.size())
        return;
    m_entries[row].name = name;
    emit dataChanged(index(row, 0), index(row, 0));
}

void FileListModel::sortNewestFirst()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QVector<int> order(m_entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return m_entries.at(a).sortKey > m_entries.at(b).sortKey;
    });
    QVector<FileEntry> sorted;
    sorted.reserve(m_entries.size());
    QVector<int> newRow(m_entries.size());
    for (int i = 0; i < order.size(); ++i) {
        sorted.append(std::move(m_entries[order.at(i)]));
        newRow[order.at(i)] = i;
    }
    m_entries = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from)
        to.append(index(newRow.at(i.row()), i.column()));
    changePersistentIndexList(from, to);
    if (m_selected >= 0)
        m_selected = newRow.at(m_selected);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::setTextNormal(bool normal)
{
    if (m_textNormal == normal)
        return;
    m_textNormal = normal;
    if (!m_entries.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_entries.size()) - 1, 1), {Qt::ForegroundRole});
}

void FileListModel::selectRow(int row)
{
    m_selected = (row >= 0 && row < m_entries.size()) ? row : -1;
    emit selectionRequested(m_selected);
}

void FileListModel::setSelectedFromView(int row)
{
    m_selected = (row >= 0 && row < m_entries.size()) ? row : -1;
}
