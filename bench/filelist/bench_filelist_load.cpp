// Loading a folder of many phone lists into the programming list: the time
// until the sorted list is shown, against listing and sorting the same
// folder with find | sort, and the longest stall of the event loop meanwhile.
// Usage: bench_filelist_load [files] [folder]; the folder is filled once
// and kept when given.
#include "dialogs.h"
#include "filelibrary.h"
#include "filelistview.h"
#include "operationlog.h"
#include "platformservices.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

bool fillFolder(const QString &folder, int files)
{
    QRandomGenerator random(11);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < files; ++i) {
        const QByteArray path = QFile::encodeName(
            folder + QStringLiteral("/list%1.txt").arg(i, 6, 10, QLatin1Char('0')));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const QByteArray content = QByteArray::number(1000 + i % 9000) + "|2001\r\n";
        const bool written =
            ::write(fd, content.constData(), size_t(content.size())) == content.size();
        // Spread over three years, many in the same minute.
        const timespec times[2] = {
            {0, UTIME_OMIT}, {time_t(now - qint64(random.bounded(3 * 365 * 24 * 60)) * 60), 0}};
        const bool dated = ::futimens(fd, times) == 0;
        ::close(fd);
        if (!written || !dated)
            return false;
    }
    return true;
}

double findSortSeconds(const QString &folder)
{
    QElapsedTimer t;
    t.start();
    QProcess sh;
    sh.setStandardOutputFile(QProcess::nullDevice());
    sh.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("find \"$0\" -maxdepth 1 -name '*.txt' -printf '%T@ %f\\n' | sort -rn"),
         folder});
    sh.waitForFinished(-1);
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir temp;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    QTextStream out(stdout);
    if (QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files).size() != files) {
        out << "Creating " << files << " phone lists in " << folder << " ..." << Qt::endl;
        QDir().mkpath(folder);
        if (!fillFolder(folder, files)) {
            out << "Cannot fill the folder." << Qt::endl;
            return 1;
        }
    }

    OperationLog log;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    FileLibrary library(log, dialogs, platform);
    library.programmingFolder = [folder] { return folder; };
    FileListView view(library.list(FileListKind::Programming));
    view.resize(330, 400);
    view.show();

    const int runs = 3;
    QVector<double> ours, reference, ratios, stalls;
    for (int run = 0; run < runs; ++run) {
        reference << findSortSeconds(folder);

        QElapsedTimer total;
        QElapsedTimer sinceTick;
        double longestStall = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestStall = std::max(longestStall, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        bool shown = false;
        double seconds = 0;
        QObject::connect(&library, &FileLibrary::loadEnded, &view, [&] {
            view.viewport()->repaint(); // the sorted list on screen
            seconds = total.nsecsElapsed() / 1e9;
            shown = true;
        });
        sinceTick.start();
        ticker.start();
        total.start();
        library.refresh(FileListKind::Programming);
        while (!shown)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ticker.stop();
        QObject::disconnect(&library, &FileLibrary::loadEnded, &view, nullptr);
        QCoreApplication::processEvents();
        ours << seconds;
        ratios << seconds / reference.last();
        stalls << longestStall;
        out << "run " << run + 1 << ": list shown sorted after " << QString::number(seconds, 'f', 3)
            << " s, find | sort " << QString::number(reference.last(), 'f', 3) << " s, ratio "
            << QString::number(ratios.last(), 'f', 2) << ", longest event-loop stall "
            << QString::number(longestStall, 'f', 1) << " ms, entries "
            << library.list(FileListKind::Programming).count() << Qt::endl;
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(stalls.begin(), stalls.end());
    out << "files " << files << ": median ratio " << QString::number(ratios.at(runs / 2), 'f', 2)
        << " (goal <= 2), worst stall " << QString::number(stalls.last(), 'f', 1)
        << " ms (goal < 50)" << Qt::endl;
    return 0;
}
