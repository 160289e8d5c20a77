#include "logview.h"

#include "operationlog.h"

#include <QScrollBar>

LogView::LogView(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Nothing trims the log while the program runs.
    setMaximumBlockCount(0);
}

void LogView::attach(OperationLog &log)
{
    for (const QString &line : log.lines())
        appendLine(line);
    connect(&log, &OperationLog::lineAppended, this, &LogView::appendLine);
}

void LogView::appendLine(const QString &line)
{
    appendPlainText(line);
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
