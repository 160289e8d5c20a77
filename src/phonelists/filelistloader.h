#pragma once

#include "filelistmodel.h"

#include <QDateTime>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <functional>
#include <optional>

enum class FileListKind { Programming = 0, Test = 1 };

// A file found in a folder: its name and, when the listing already dated
// it, its last-write time in seconds since the epoch.
struct ListedFile {
    QString name;
    std::optional<qint64> modified;
};

// The "*.txt" files directly in `folder` (not in subfolders; upper or lower
// case extension, as Windows matches the pattern), in the order the file
// system gives. With `from` set, only files last written at or after it.
QVector<ListedFile> ListTxtFiles(const QString &folder, const std::optional<QDateTime> &from);

// Fills one file list from its folder on a worker thread of its own
// (`TMyLoadFilesThread` / `TMyLoadTestFilesThread`). It never touches the
// list: it puts a line, a count or a batch of entries into its hand-over
// fields and waits until the GUI thread has run the matching handler.
class FileListLoader : public QThread
{
    Q_OBJECT
public:
    // `folder` and `yearFrom` are read on the GUI thread before the start.
    FileListLoader(FileListKind kind, const QString &folder, std::optional<QDateTime> yearFrom,
                   QObject *guiContext);

    FileListKind kind() const { return m_kind; }
    QString folder() const { return m_folder; }
    // The operating system's ID of the thread; known once started() returned.
    quint64 threadId() const { return m_threadId; }
    // Starts the thread and returns once its ID is known.
    void startAndWait();
    // Lets a waiting hand-over give up, so the thread ends soon.
    void abandon() { m_abandoned = true; }

    // Handlers run on the GUI thread during a hand-over.
    std::function<void(const QString &FMsg)> onMessage;
    std::function<void(int FPBMax)> onFileCount;
    std::function<void(const QVector<FileEntry> &entries, bool last)> onEntries;
    // Runs on the worker between listing and dating; tests change the folder there.
    std::function<void()> afterListing;

protected:
    void run() override;

private:
    bool handOver(const std::function<void()> &step);
    void load();

    const FileListKind m_kind;
    const QString m_folder;
    const std::optional<QDateTime> m_yearFrom;
    QObject *const m_context;
    std::atomic<quint64> m_threadId{0};
    std::atomic<bool> m_abandoned{false};
    QSemaphore m_idKnown;
    // Hand-over fields, written by the worker, read by the GUI thread.
    QString FMsg;
    QString FRootFolder;
    int FPBMax = 0;
    QVector<FileEntry> FEntries;
    bool FLast = false;
};
