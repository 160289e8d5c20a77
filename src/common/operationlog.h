#pragma once

#include <QFile>
#include <QObject>
#include <QStringList>

// The operation log: append-only lines through which every operation
// reports. The window's log view shows them; --log mirrors them to a file.
class OperationLog : public QObject
{
    Q_OBJECT
public:
    explicit OperationLog(QObject *parent = nullptr);

    void append(const QString &line);
    const QStringList &lines() const { return m_lines; }
    QString lastLine() const { return m_lines.isEmpty() ? QString() : m_lines.last(); }
    int count() const { return int(m_lines.size()); }
    bool contains(const QString &line) const { return m_lines.contains(line); }

    // Appends every later line to `path` as well; false when it cannot be opened.
    bool mirrorTo(const QString &path);

signals:
    void lineAppended(const QString &line);

private:
    QStringList m_lines;
    QFile m_mirror;
};
