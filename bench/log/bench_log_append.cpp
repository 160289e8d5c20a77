// Appending to the operation log stays cheap when it already holds a
// million lines: prints the cost per line for each block of appends.
#include "logview.h"
#include "operationlog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int total = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int block = qMax(1, total / 10);

    OperationLog log;
    LogView view;
    view.resize(900, 300);
    view.attach(log);
    view.show();

    QTextStream out(stdout);
    out << "lines_in_log  us_per_append (block of " << block << ")\n";
    QElapsedTimer timer;
    for (int done = 0; done < total; done += block) {
        timer.start();
        for (int i = 0; i < block; ++i)
            log.append(QStringLiteral("> 11.12.2026 12:00:00 Sending: 8408 line %1").arg(done + i));
        QCoreApplication::processEvents();
        const double us = timer.nsecsElapsed() / 1000.0 / block;
        out << qSetFieldWidth(12) << done + block << qSetFieldWidth(0) << "  "
            << QString::number(us, 'f', 2) << "\n";
        out.flush();
    }
    return 0;
}
