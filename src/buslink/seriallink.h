#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// What the program needs of a serial port: a port chosen by number, an
// accessibility test, open and close, line mode with a settable line end,
// send, receive the pending line, and one data event per complete line,
// delivered on the GUI thread and never re-entered while its handler runs.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    explicit SerialLink(QObject *parent = nullptr) : QObject(parent) {}

    int portNumber() const { return m_port; }
    virtual void setPortNumber(int port) { m_port = port; }
    void setLineEnd(char lineEnd) { m_lineEnd = lineEnd; }
    char lineEnd() const { return m_lineEnd; }
    void setLineMode(bool on) { m_lineMode = on; }
    bool lineMode() const { return m_lineMode; }
    void setTxBufferSize(int bytes) { m_txBuffer = bytes; }
    int txBufferSize() const { return m_txBuffer; }

    // Trial open and close; an open port always passes.
    virtual bool isAccessible() = 0;
    virtual bool open() = 0;
    // True when the port is closed afterwards.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    // Refused (false, lastError() says why) when the port is not open.
    virtual bool send(const QByteArray &bytes) = 0;
    // The oldest complete line not yet received, line end included.
    QByteArray receiveLine();
    bool hasLine() const { return !m_lines.isEmpty(); }
    // Numbers of the ports that exist: can be opened or are in use.
    virtual QList<int> existingPorts() = 0;
    QString lastError() const { return m_lastError; }

signals:
    // One per complete line.
    void dataAvailable();
    // The open port failed (for example a USB adapter was pulled) and is closed.
    void portFailed(const QString &message);

protected:
    // Collects received bytes, cuts them at the line end and raises one data
    // event per complete line, one handler at a time in arrival order.
    void feed(const QByteArray &bytes);
    void clearInput();
    void setLastError(const QString &error) { m_lastError = error; }

private:
    void dispatch();

    int m_port = 0;
    char m_lineEnd = '\x04';
    bool m_lineMode = false;
    int m_txBuffer = 4096;
    QByteArray m_partial;
    QList<QByteArray> m_lines;
    int m_undelivered = 0;
    bool m_dispatching = false;
    QString m_lastError;
};
