#include "filelibrary.h"

#include "dialogs.h"
#include "filedates.h"
#include "installationtables.h"
#include "operationlog.h"
#include "phonelistio.h"
#include "platformservices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace
{

const QString TxtExtension = QStringLiteral(".txt");

// The part from the last full stop on; empty without one.
QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

// Where "notepad++.exe" may be: on the search path, or where its installer
// puts it on Windows.
QStringList editorCandidates()
{
    QStringList found;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("notepad++"));
    if (!onPath.isEmpty())
        found << onPath;
#ifdef Q_OS_WIN
    for (const char *var : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString base = qEnvironmentVariable(var);
        const QString exe = base + QStringLiteral("\\Notepad++\\notepad++.exe");
        if (!base.isEmpty() && QFileInfo::exists(exe) && !found.contains(exe))
            found << exe;
    }
#endif
    return found;
}

// Whether the bytes of a phone list hold `needle` on some line; `line` is
// that line's number from 1. Works on the raw bytes of an 8-bit file: a
// serial has no line-end characters, so the first hit lies on the first
// line that contains it.
bool findInBytes(const QByteArray &bytes, const QByteArray &needle, int &line)
{
    const qsizetype at = bytes.indexOf(needle);
    if (at < 0)
        return false;
    line = 1;
    for (qsizetype i = 0; i < at; ++i) {
        const char c = bytes.at(i);
        if (c == '\n' || (c == '\r' && (i + 1 >= bytes.size() || bytes.at(i + 1) != '\n')))
            ++line;
    }
    return true;
}

} // namespace

QStringList SearchFieldCaptions()
{
    return {QStringLiteral("File name (*.txt)"), QStringLiteral("Date&Time"),
            QStringLiteral("By phone SN in file")};
}

QString DateSearchHint()
{
    return QStringLiteral("[dd.MM.yyyy.] date format") + QLatin1Char('\n') +
           QStringLiteral("[HH:nn] time format");
}

QString RefusedFileName(const QString &typed)
{
    if (typed.trimmed().isEmpty())
        return QStringLiteral("The file name is empty.");
    if (typed.contains(QLatin1Char('/')) || typed.contains(QLatin1Char('\\')))
        return QStringLiteral("A file name must not contain a folder (\"/\" or \"\\\").");
    if (typed.contains(QStringLiteral("..")))
        return QStringLiteral("A file name must not contain \"..\".");
    for (const QChar c : typed) {
        if (c.unicode() < 32 || QStringLiteral("<>:\"|?*").contains(c))
            return QStringLiteral("A file name must not contain the character \"%1\".")
                .arg(c.unicode() < 32
                         ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                         : QString(c));
    }
    // Windows opens a device, not a file, for these names, whatever the extension.
    const QString stem = typed.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList devices = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),
        QStringLiteral("NUL"),  QStringLiteral("COM1"), QStringLiteral("COM2"),
        QStringLiteral("COM3"), QStringLiteral("COM4"), QStringLiteral("COM5"),
        QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
        QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"),
        QStringLiteral("LPT3"), QStringLiteral("LPT4"), QStringLiteral("LPT5"),
        QStringLiteral("LPT6"), QStringLiteral("LPT7"), QStringLiteral("LPT8"),
        QStringLiteral("LPT9")};
    if (devices.contains(stem))
        return QStringLiteral("\"%1\" is a device name on Windows.").arg(stem);
    return QString();
}

QString NewTxtFileName(const QString &typed)
{
    return extensionOf(typed) == TxtExtension ? typed : typed + TxtExtension;
}

QString RenamedTxtFileName(const QString &typed)
{
    const QString ext = extensionOf(typed);
    if (ext == TxtExtension)
        return typed;
    return typed.left(typed.size() - ext.size()) + TxtExtension;
}

QString WithTrailingSeparator(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QDir::separator();
}

bool FolderExists(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

int RenameFileNoReplace(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    if (MoveFileW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16())))
        return 0;
    return int(GetLastError());
#else
    // A hard link fails when the name is taken, which a plain rename would
    // silently replace.
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::link(a.constData(), b.constData()) != 0) {
        const int linkError = errno;
        if (linkError == EEXIST || linkError == ENOENT || linkError == EACCES || linkError == EROFS)
            return linkError;
        // A file system without hard links: check, then rename.
        if (QFileInfo::exists(to))
            return EEXIST;
        return std::rename(a.constData(), b.constData()) == 0 ? 0 : errno;
    }
    if (::unlink(a.constData()) != 0) {
        const int unlinkError = errno;
        ::unlink(b.constData());
        return unlinkError;
    }
    return 0;
#endif
}

int DeleteFileWithCode(const QString &path)
{
#ifdef Q_OS_WIN
    return DeleteFileW(reinterpret_cast<LPCWSTR>(path.utf16())) ? 0 : int(GetLastError());
#else
    return ::unlink(QFile::encodeName(path).constData()) == 0 ? 0 : errno;
#endif
}

FileLibrary::FileLibrary(OperationLog &log, Dialogs &dialogs, PlatformServices &platform,
                         QObject *parent)
    : QObject(parent), m_log(log), m_dialogs(dialogs), m_platform(platform)
{
}

FileLibrary::~FileLibrary()
{
    // Only reached while a loader runs when the program ends anyway: let it
    // give up its hand-over and wait for it.
    for (auto &loader : m_loader) {
        if (!loader)
            continue;
        loader->disconnect(this);
        loader->abandon();
        loader->wait();
        delete loader.data();
    }
}

QString FileLibrary::folderSetting(FileListKind kind) const
{
    return kind == FileListKind::Programming ? programmingFolder() : testFolder();
}

void FileLibrary::refresh(FileListKind kind)
{
    const int k = int(kind);
    if (m_running[k]) {
        m_log.append(QStringLiteral("> Loading... [th%1]").arg(m_threadId[k]));
        return;
    }
    m_running[k] = true;
    emit elapsedStarted();
    list(kind).clear();

    std::optional<QDateTime> yearFrom;
    if (kind == FileListKind::Programming && loadOnlyCurrentYear())
        yearFrom = CurrentYearStart(now().date());
    auto *loader = new FileListLoader(kind, folderSetting(kind), yearFrom, this);
    loader->onMessage = [this](const QString &line) { m_log.append(line); };
    loader->onFileCount = [this](int count) { emit progressMaximum(count); };
    loader->afterListing = afterListing;
    loader->onEntries = [this, kind](const QVector<FileEntry> &entries, bool last) {
        FileListModel &model = list(kind);
        model.append(entries);
        emit progressAdvanced(int(entries.size()));
        if (last) {
            model.sortNewestFirst();
            emit progressReset();
            model.setTextNormal(true);
        }
    };
    connect(
        loader, &QThread::finished, this, [this, loader]() { loaderFinished(loader); },
        Qt::QueuedConnection);
    m_loader[k] = loader;
    loader->startAndWait();
    m_threadId[k] = loader->threadId();
    emit runningChanged(kind, true, m_threadId[k]);
}

void FileLibrary::loaderFinished(FileListLoader *loader)
{
    const FileListKind kind = loader->kind();
    const int k = int(kind);
    if (FolderExists(loader->folder())) {
        m_log.append((kind == FileListKind::Programming
                          ? QStringLiteral("> Loading completed. [th%1]")
                          : QStringLiteral("> Loading test files completed. [th%1]"))
                         .arg(loader->threadId()));
    }
    if (kind == FileListKind::Test)
        emit buttonStatesNeeded();
    emit elapsedStopped();
    emit loadEnded(kind);
    m_running[k] = false;
    m_loader[k] = nullptr;
    emit runningChanged(kind, false, m_threadId[k]);
    loader->deleteLater();
}

bool FileLibrary::CheckListViewData(bool CheckList)
{
    const bool test = m_active == FileListKind::Test;
    const QString word = test ? QStringLiteral("test ") : QString();
    if (!FolderExists(folderSetting(m_active))) {
        m_dialogs.error(QStringLiteral("Folder path to *.txt ") + word +
                        QStringLiteral("files is not set!"));
        return false;
    }
    if (CheckList && list(m_active).selectedRow() < 0) {
        m_dialogs.error(QStringLiteral("Please, first select ") + word +
                        QStringLiteral("file in the list!"));
        return false;
    }
    return true;
}

QString FileLibrary::selectedFilePath() const
{
    const FileListModel &model = m_lists[int(m_active)];
    if (model.selectedRow() < 0)
        return QString();
    return WithTrailingSeparator(folderSetting(m_active)) + model.name(model.selectedRow());
}

void FileLibrary::AddNewTXTFileInList(FileListKind kind, const QString &aFN)
{
    FileListModel &model = list(kind);
    FileEntry entry{aFN, FileDateText(now()), -1};
    entry.sortKey = FileDateSortKey(entry.dateText);
    model.insertTop(entry);
    model.selectRow(0);
    if (model.count() == 1) {
        model.setTextNormal(true);
        emit buttonStatesNeeded();
    }
}

void FileLibrary::reportFileError(const QString &what, const QString &path, const QString &reason)
{
    const QString text = what + QStringLiteral(" \"") + QDir::toNativeSeparators(path) +
                         QStringLiteral("\": ") + reason;
    m_log.append(QStringLiteral("> Error: ") + text);
    m_dialogs.error(text);
}

QString FileLibrary::typedName()
{
    QString name;
    if (!m_dialogs.inputText(QStringLiteral("File Name"), QStringLiteral("Enter new file name"),
                             name))
        return QString();
    const QString refused = RefusedFileName(name);
    if (!refused.isEmpty()) {
        m_dialogs.error(QStringLiteral("File name not allowed: ") + name + QStringLiteral("\n") +
                        refused);
        return QString();
    }
    return name;
}

void FileLibrary::btnNewTXTClick()
{
    if (!CheckListViewData(false))
        return;
    const QString typed = typedName();
    if (typed.isEmpty())
        return;
    const QString name = NewTxtFileName(typed);
    const QString path = WithTrailingSeparator(folderSetting(m_active)) + name;
    if (QFileInfo::exists(path)) {
        m_dialogs.error(QStringLiteral("> Error: File already exists!"));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        reportFileError(QStringLiteral("Can not create file"), path, file.errorString());
        return;
    }
    file.close();
    AddNewTXTFileInList(m_active, name);
}

void FileLibrary::btnRenameTXTClick()
{
    if (!CheckListViewData(true))
        return;
    const QString typed = typedName();
    if (typed.isEmpty())
        return;
    FileListModel &model = list(m_active);
    const int row = model.selectedRow();
    const QString folder = WithTrailingSeparator(folderSetting(m_active));
    const QString name = RenamedTxtFileName(typed);
    const int code = RenameFileNoReplace(folder + model.name(row), folder + name);
    if (code != 0) {
        m_log.append(QStringLiteral("> Can not rename file! Error: %1").arg(code));
        return;
    }
    model.renameEntry(row, name);
}

void FileLibrary::btnDeleteTXTClick()
{
    if (!CheckListViewData(true))
        return;
    FileListModel &model = list(m_active);
    const int row = model.selectedRow();
    const QString name = model.name(row);
    if (showWarnings() &&
        m_dialogs.message(Dialogs::Kind::Warning,
                          QStringLiteral("Delete file: ") + name + QStringLiteral(" ?"),
                          Dialogs::Buttons::OkCancel) != Dialogs::Answer::Ok)
        return;
    const int code = DeleteFileWithCode(WithTrailingSeparator(folderSetting(m_active)) + name);
    if (code != 0) {
        m_log.append(QStringLiteral("> Can not delete file! Error: %1").arg(code));
        return;
    }
    model.removeEntry(row);
    // No neighbour takes over the selection: a second Delete must not
    // remove a file nobody chose.
    model.selectRow(-1);
    emit buttonStatesNeeded();
}

void FileLibrary::btnEditTXTClick()
{
    if (!CheckListViewData(true))
        return;
    const QString path = QDir::toNativeSeparators(selectedFilePath());
    // The platform quotes the path as the program's one parameter.
    for (const QString &editor : editorCandidates()) {
        if (m_platform.startProgram(editor, {path}, false))
            return;
    }
    m_platform.openWithDefault(path);
}

void FileLibrary::cbSearchFieldSelect(SearchField field)
{
    m_searchField = field;
    SearchStartIndex = 0;
}

bool FileLibrary::SearchBox1InvokeSearch(const QString &q)
{
    FileListModel &model = list(m_active);
    const QString folder = WithTrailingSeparator(folderSetting(m_active));
    for (int i = qMax(0, SearchStartIndex); !q.isEmpty() && i < model.count(); ++i) {
        bool match = false;
        switch (m_searchField) {
        case SearchField::FileName:
            match = model.name(i).contains(q, Qt::CaseInsensitive);
            break;
        case SearchField::DateTime:
            match = model.dateText(i).contains(q, Qt::CaseInsensitive);
            break;
        case SearchField::PhoneSN:
            match = checkPhoneExists(folder + model.name(i), q);
            break;
        }
        if (match) {
            model.selectRow(i);
            SearchStartIndex = i + 1;
            return true;
        }
    }
    SearchStartIndex = 0;
    return false;
}

bool FileLibrary::checkPhoneExists(const QString &aFilePathName, const QString &PhoneSN)
{
    if (PhoneSN.isEmpty())
        return false;
    QFile file(aFilePathName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxPhoneListFileSize)
        return false;
    const QByteArray bytes = file.readAll();
    int line = 0;
    bool found = false;
    const bool eightBit = !bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") &&
                          !bytes.startsWith("\xFE\xFF");
    if (eightBit) {
        // Most lists: search the bytes as they are, without decoding.
        found = findInBytes(bytes, PhoneSN.toLatin1(), line);
    } else {
        const QStringList lines = SplitPhoneListLines(bytes);
        for (int i = 0; i < lines.size() && !found; ++i) {
            if (lines.at(i).contains(PhoneSN)) {
                found = true;
                line = i + 1;
            }
        }
    }
    if (found)
        m_log.append(QStringLiteral("> Phone SN: ") + PhoneSN +
                     QStringLiteral(" found in index: ") + QString::number(line));
    return found;
}

void FileLibrary::btnImportClick(InstallationTables &tables)
{
    qint32 total = 0;
    if (tables.CheckDataError(total))
        return;
    if (!CheckListViewData(true))
        return;
    const QString path = selectedFilePath();
    QString error;
    ImportResult result;
    if (!aImportFromTXT(tables.tblPhoneSerials(), total, path, error, &result)) {
        reportFileError(QStringLiteral("Can not read file"), path, error);
    } else {
        m_log.append(QStringLiteral("> Imported: ") +
                     list(m_active).name(list(m_active).selectedRow()) +
                     QStringLiteral(" (%1 buttons)").arg(result.rows));
        if (result.badFields > 0)
            m_log.append(QStringLiteral("> Warning: %1 field(s) are not phone serials and were "
                                        "left empty (first in line %2)")
                             .arg(result.badFields)
                             .arg(result.firstBadLine));
    }
    emit buttonStatesNeeded();
}

void FileLibrary::btnExportClick(PhoneTable &table)
{
    const QString folder = folderSetting(m_active);
    const QString fileName = m_dialogs.saveFileName(
        QStringLiteral("Save TXT File"), folder, m_lastExportName,
        QStringLiteral("TXT File (*.txt);;All Files (*.*)"), QStringLiteral("txt"));
    if (fileName.isEmpty())
        return;
    const QFileInfo info(fileName);
    m_lastExportName = info.fileName();
    QString error;
    if (!aExportToTXT(table, fileName, error)) {
        reportFileError(QStringLiteral("Can not write file"), fileName, error);
        return;
    }
    m_log.append(QStringLiteral("> Exported: ") + QDir::toNativeSeparators(fileName));
    // Only a file saved straight into the active tab's folder joins its list.
    const QString savedIn = WithTrailingSeparator(QDir::toNativeSeparators(info.path()));
    if (!folder.isEmpty() && savedIn == WithTrailingSeparator(QDir::toNativeSeparators(folder)))
        AddNewTXTFileInList(m_active, info.fileName());
}
