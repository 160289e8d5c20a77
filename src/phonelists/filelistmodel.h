#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QVector>

// One phone-list file in a list: its name and date text.
struct FileEntry {
    QString name;
    QString dateText;
    qint64 sortKey = -1; // the date text read back (FileDateSortKey)
};

// The entries of one file list ("File Name", "Date"), with the one
// selected entry. Views show it; the library changes it.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Cream, the lists' background; also the text colour until a load has sorted.
    static QColor background() { return QColor(255, 251, 240); }

    explicit FileListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int count() const { return int(m_entries.size()); }
    const FileEntry &entry(int row) const { return m_entries.at(row); }
    QString name(int row) const { return m_entries.at(row).name; }
    QString dateText(int row) const { return m_entries.at(row).dateText; }

    void clear();
    void append(const QVector<FileEntry> &entries);
    void insertTop(const FileEntry &entry);
    void removeEntry(int row);
    void renameEntry(int row, const QString &name);
    // Newest first by the date read back; equal minutes keep their order.
    // The selected entry stays selected.
    void sortNewestFirst();

    // Until a load has sorted (or an entry was added), the text has the
    // background colour.
    bool textNormal() const { return m_textNormal; }
    void setTextNormal(bool normal);

    // -1 when nothing is selected.
    int selectedRow() const { return m_selected; }
    // Selects (and asks views to scroll to) `row`.
    void selectRow(int row);
    // A view reports the technician's choice; no request goes back to it.
    void setSelectedFromView(int row);

signals:
    void selectionRequested(int row);

private:
    QVector<FileEntry> m_entries;
    int m_selected = -1;
    bool m_textNormal = false;
};
