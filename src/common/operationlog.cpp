#include "operationlog.h"

OperationLog::OperationLog(QObject *parent) : QObject(parent) {}

void OperationLog::append(const QString &line)
{
    m_lines.append(line);
    if (m_mirror.isOpen()) {
        m_mirror.write(line.toUtf8());
        m_mirror.write("\n");
        m_mirror.flush();
    }
    emit lineAppended(line);
}

bool OperationLog::mirrorTo(const QString &path)
{
    if (m_mirror.isOpen())
        m_mirror.close();
    m_mirror.setFileName(path);
    return m_mirror.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}
