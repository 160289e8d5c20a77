// Searching the programming list by phone SN for a serial that only the
// last file holds, against grep -lF over the same files.
// Usage: bench_phone_search [files]
#include "dialogs.h"
#include "filelibrary.h"
#include "operationlog.h"
#include "platformservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const QString serial = QStringLiteral("987654");
    QTemporaryDir temp;
    QTextStream out(stdout);

    // Each file a 40-button installation; only the oldest one, last in the
    // list, holds the serial.
    const QDateTime base = QDateTime::currentDateTime().addDays(-1);
    for (int i = 0; i < files; ++i) {
        QFile file(temp.filePath(QStringLiteral("inst%1.txt").arg(i, 5, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray content;
        for (int button = 0; button < 40; ++button)
            content += QByteArray::number(1000 + (i + button) % 9000) + "|" +
                       QByteArray::number(2000 + button) + "\r\n";
        if (i == 0)
            content += serial.toLatin1() + "\r\n";
        file.write(content);
        file.close();
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(base.addSecs(120 * i), QFileDevice::FileModificationTime))
            return 1;
    }

    OperationLog log;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    FileLibrary library(log, dialogs, platform);
    const QString folder = temp.path();
    library.programmingFolder = [folder] { return folder; };
    library.refresh(FileListKind::Programming);
    while (library.isRunning(FileListKind::Programming))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    library.cbSearchFieldSelect(SearchField::PhoneSN);

    QVector<double> ratios;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer grepTime;
        grepTime.start();
        QProcess grep;
        grep.setWorkingDirectory(folder);
        grep.setStandardOutputFile(QProcess::nullDevice());
        grep.start(QStringLiteral("sh"),
                   {QStringLiteral("-c"), QStringLiteral("grep -lF \"$0\" *.txt"), serial});
        grep.waitForFinished(-1);
        const double grepSeconds = grepTime.nsecsElapsed() / 1e9;

        library.SearchStartIndex = 0;
        QElapsedTimer searchTime;
        searchTime.start();
        const bool found = library.SearchBox1InvokeSearch(serial);
        const double searchSeconds = searchTime.nsecsElapsed() / 1e9;
        const int row = library.list(FileListKind::Programming).selectedRow();
        ratios << searchSeconds / grepSeconds;
        out << "run " << run + 1 << ": search " << QString::number(searchSeconds * 1000, 'f', 1)
            << " ms (found " << found << " at entry " << row + 1 << " of " << files
            << "), grep -lF " << QString::number(grepSeconds * 1000, 'f', 1) << " ms, ratio "
            << QString::number(ratios.last(), 'f', 2) << Qt::endl;
    }
    std::sort(ratios.begin(), ratios.end());
    out << "files " << files << ": median ratio " << QString::number(ratios.at(2), 'f', 2)
        << " (goal <= 2); last log line: " << log.lastLine() << Qt::endl;
    return 0;
}
