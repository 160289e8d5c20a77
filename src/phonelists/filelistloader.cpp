#include "filelistloader.h"

#include "filedates.h"
#include "threadid.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

// A batch goes to the GUI thread at least this often, so that the list
// fills visibly, and never bigger than this, so that no hand-over stalls
// the window.
constexpr qint64 BatchIntervalMs = 15;
constexpr int MaxBatch = 4000;

QString withSeparator(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QDir::separator();
}

#ifdef Q_OS_UNIX
bool hasTxtExtension(const char *name, size_t length)
{
    if (length < 4 || name[length - 4] != '.')
        return false;
    const char *ext = name + length - 3;
    return (ext[0] | 0x20) == 't' && (ext[1] | 0x20) == 'x' && (ext[2] | 0x20) == 't';
}

// Last-write time of `name` in the open folder, following links; nullopt
// when it is gone or is not a regular file.
std::optional<qint64> regularFileTime(int dirFd, const char *name)
{
    struct stat st;
    if (fstatat(dirFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return qint64(st.st_mtime);
}
#endif

} // namespace

QVector<ListedFile> ListTxtFiles(const QString &folder, const std::optional<QDateTime> &from)
{
    QVector<ListedFile> files;
    const bool filtered = from.has_value();
    const qint64 fromSecs = filtered ? from->toSecsSinceEpoch() : 0;
#ifdef Q_OS_UNIX
    // Straight from the directory: Qt's iterator costs several times the
    // system calls for a folder of many thousands of files.
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return files;
    const int fd = dirfd(dir);
    while (const dirent *e = readdir(dir)) {
        const size_t length = strlen(e->d_name);
        if (!hasTxtExtension(e->d_name, length))
            continue;
        std::optional<qint64> modified;
        const bool known = e->d_type == DT_REG;
        if (!known || filtered) {
            modified = regularFileTime(fd, e->d_name);
            if (!modified || (filtered && *modified < fromSecs))
                continue;
        }
        files.append({QFile::decodeName(QByteArray(e->d_name, qsizetype(length))), modified});
    }
    closedir(dir);
#else
    QDirIterator it(folder, {QStringLiteral("*.txt")}, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        std::optional<qint64> modified;
        if (filtered) {
            modified = info.lastModified().toSecsSinceEpoch();
            if (*modified < fromSecs)
                continue;
        }
        files.append({info.fileName(), modified});
    }
#endif
    return files;
}

FileListLoader::FileListLoader(FileListKind kind, const QString &folder,
                               std::optional<QDateTime> yearFrom, QObject *guiContext)
    : m_kind(kind), m_folder(folder), m_yearFrom(std::move(yearFrom)), m_context(guiContext)
{
}

void FileListLoader::startAndWait()
{
    start();
    m_idKnown.acquire();
}

bool FileListLoader::handOver(const std::function<void()> &step)
{
    if (m_abandoned)
        return false;
    // The semaphore outlives a GUI that went away without running the step.
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(
        m_context,
        [step, done]() {
            step();
            done->release();
        },
        Qt::QueuedConnection);
    while (!done->tryAcquire(1, 50)) {
        if (m_abandoned)
            return false;
    }
    return true;
}

void FileListLoader::run()
{
    m_threadId = CurrentOsThreadId();
    m_idKnown.release();
    try {
        load();
    } catch (const std::exception &e) {
        FMsg = QStringLiteral("> Error: ") + QString::fromLocal8Bit(e.what());
        handOver([this]() { onMessage(FMsg); });
    }
}

void FileListLoader::load()
{
    const bool test = m_kind == FileListKind::Test;
    if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir()) {
        FMsg = test ? QStringLiteral("> Warning: Folder path to txt test files is not set!")
                    : QStringLiteral("> Warning: Folder path to txt files is not set!");
        handOver([this]() { onMessage(FMsg); });
        return;
    }
    FMsg = (test ? QStringLiteral("> Loading and sorting test files [th%1]...")
                 : QStringLiteral("> Loading and sorting files [th%1]..."))
               .arg(m_threadId);
    if (!handOver([this]() { onMessage(FMsg); }))
        return;
    FRootFolder = withSeparator(m_folder);

    // The year option applies to the programming list only.
    const QVector<ListedFile> files = ListTxtFiles(FRootFolder, test ? std::nullopt : m_yearFrom);
    if (afterListing)
        afterListing();
    FPBMax = int(files.size());
    if (!handOver([this]() { onFileCount(FPBMax); }))
        return;

#ifdef Q_OS_UNIX
    DIR *dir = opendir(QFile::encodeName(FRootFolder).constData());
    const int fd = dir ? dirfd(dir) : -1;
#endif
    QElapsedTimer sinceHandOver;
    sinceHandOver.start();
    for (int i = 0; i < files.size(); ++i) {
        const ListedFile &file = files.at(i);
        // GetFileDateTime, without building the full path for every file.
        QDateTime when;
#ifdef Q_OS_UNIX
        std::optional<qint64> secs = file.modified;
        if (!secs && fd >= 0)
            secs = regularFileTime(fd, QFile::encodeName(file.name).constData());
        if (secs)
            when = FileDateTimeFromEpoch(*secs);
#else
        when = file.modified ? FileDateTimeFromEpoch(*file.modified)
                             : GetFileDateTime(FRootFolder + file.name);
#endif
        // A file gone since the listing keeps its entry, without a date.
        FileEntry entry{file.name, FileDateText(when), -1};
        entry.sortKey = FileDateSortKey(entry.dateText);
        FEntries.append(std::move(entry));
        const bool last = i + 1 == files.size();
        if (last || FEntries.size() >= MaxBatch || sinceHandOver.elapsed() >= BatchIntervalMs) {
            FLast = last;
            const bool handed = handOver([this]() { onEntries(FEntries, FLast); });
            FEntries.clear();
            sinceHandOver.restart();
            if (!handed)
                break;
        }
    }
#ifdef Q_OS_UNIX
    if (dir)
        closedir(dir);
#endif
}
