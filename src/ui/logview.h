#pragma once

#include <QPlainTextEdit>

class OperationLog;

// The operation log as shown in the main window: every appended line goes
// at the end and the view follows it.
class LogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit LogView(QWidget *parent = nullptr);
    void attach(OperationLog &log);
    void appendLine(const QString &line);
};
