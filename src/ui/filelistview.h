#pragma once

#include <QTreeView>

class FileListModel;

// One file list in report view: whole-row selection of one entry, not
// editable, grid lines, fixed column widths, cream background. It shows
// the model's selection and reports the technician's clicks.
class FileListView : public QTreeView
{
    Q_OBJECT
public:
    FileListView(FileListModel &model, QWidget *parent = nullptr);

    FileListModel &fileModel() { return m_model; }
    int count() const;

signals:
    // A click on an entry (-1 when the click hit no entry).
    void entryClicked(int row);
    void entryDoubleClicked();
    void deletePressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showSelection(int row);

    FileListModel &m_model;
    int m_nameWidth = 0;
};
