#pragma once

#include "filelistloader.h"
#include "filelistmodel.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>

class Dialogs;
class InstallationTables;
class OperationLog;
class PhoneTable;
class PlatformServices;

enum class SearchField { FileName = 0, DateTime = 1, PhoneSN = 2 };

// Captions of the search field selector `cbSearchField`, in its order.
QStringList SearchFieldCaptions();
// Tooltip of the search box while searching by date.
QString DateSearchHint();

// Name checks of "New" and "Rename". Empty when the typed name is acceptable,
// otherwise the reason to refuse it: a path separator, "..", a character or
// device name Windows does not allow.
QString RefusedFileName(const QString &typed);
// "New": ".txt" appended unless the name already ends in exactly ".txt".
QString NewTxtFileName(const QString &typed);
// "Rename": the extension replaced by ".txt" unless it is exactly ".txt".
QString RenamedTxtFileName(const QString &typed);

// Folder text with a trailing path separator added when missing.
QString WithTrailingSeparator(const QString &folder);
// A folder setting that names an existing folder (an empty one never does).
bool FolderExists(const QString &folder);

// Renames or deletes a file; 0 on success, otherwise the operating
// system's error code. Renaming never replaces an existing file.
int RenameFileNoReplace(const QString &from, const QString &to);
int DeleteFileWithCode(const QString &path);

// The file library of the main window: the two lists ("Files for
// programming", "Files for testing"), their loaders, the file operations,
// the search, and import into and export from the phone table.
class FileLibrary : public QObject
{
    Q_OBJECT
public:
    FileLibrary(OperationLog &log, Dialogs &dialogs, PlatformServices &platform,
                QObject *parent = nullptr);
    ~FileLibrary() override;

    // Settings in effect, read at the moment of use.
    std::function<QString()> programmingFolder = [] { return QString(); };
    std::function<QString()> testFolder = [] { return QString(); };
    std::function<bool()> loadOnlyCurrentYear = [] { return false; };
    std::function<bool()> showWarnings = [] { return true; };
    // Local date and time; tests fix it.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Handed to each loader: runs on its thread between listing and dating.
    std::function<void()> afterListing;

    FileListModel &list(FileListKind kind) { return m_lists[int(kind)]; }
    FileListKind activeList() const { return m_active; }
    void setActiveList(FileListKind kind) { m_active = kind; }
    QString folderSetting(FileListKind kind) const;

    // Loading: `RefreshTxtFileList` / `RefreshTxtTestFileList`.
    void refresh(FileListKind kind);
    bool isRunning(FileListKind kind) const { return m_running[int(kind)]; }
    quint64 loaderThreadId(FileListKind kind) const { return m_threadId[int(kind)]; }

    // Precondition of every file operation on the active list; with
    // `CheckList` a selected entry is required too. Shows its error box.
    bool CheckListViewData(bool CheckList);
    // Active folder with separator + selected name; empty without a selection.
    QString selectedFilePath() const;
    // Puts `aFN` at the top of the list, dated now, and selects it.
    void AddNewTXTFileInList(FileListKind kind, const QString &aFN);

    void btnNewTXTClick();
    void btnRenameTXTClick();
    void btnDeleteTXTClick(); // also the Delete key in either list
    void btnEditTXTClick();   // also a double click in either list

    // Search.
    int SearchStartIndex = 0;
    SearchField searchField() const { return m_searchField; }
    void cbSearchFieldSelect(SearchField field);
    // A click in a list: the next search starts at the clicked entry.
    void listClicked(int row) { SearchStartIndex = row < 0 ? 0 : row; }
    // One search step on the active list; true when an entry was selected.
    bool SearchBox1InvokeSearch(const QString &q);
    bool checkPhoneExists(const QString &aFilePathName, const QString &PhoneSN);

    // "<= Import" and "Export =>".
    void btnImportClick(InstallationTables &tables);
    void btnExportClick(PhoneTable &table);

signals:
    void progressMaximum(int maximum);
    void progressAdvanced(int steps);
    void progressReset();
    void elapsedStarted();
    void elapsedStopped(); // stop and reset
    void buttonStatesNeeded();
    void runningChanged(FileListKind kind, bool running, quint64 threadId);
    // A loader's end handler ran its own part; the window continues the
    // start-up chain. The running flag is cleared after this.
    void loadEnded(FileListKind kind);

private:
    void loaderFinished(FileListLoader *loader);
    void reportFileError(const QString &what, const QString &path, const QString &reason);
    QString typedName();

    OperationLog &m_log;
    Dialogs &m_dialogs;
    PlatformServices &m_platform;
    FileListModel m_lists[2];
    FileListKind m_active = FileListKind::Programming;
    bool m_running[2] = {false, false};
    quint64 m_threadId[2] = {0, 0};
    QPointer<FileListLoader> m_loader[2];
    SearchField m_searchField = SearchField::FileName;
    QString m_lastExportName; // the save dialog offers it again
};
