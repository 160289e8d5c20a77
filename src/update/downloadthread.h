#pragma once

#include "updateconfig.h"

#include <QNetworkReply>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <functional>

class PlatformServices;
class QNetworkAccessManager;
struct VersionFileInfo;

// A real connection attempt to the host and port of `address` (default port
// of its scheme), given up after `timeoutMs`.
bool IsHostReachable(const QString &address, int timeoutMs);

// Deletes the file when it exists; errors are ignored.
void DeleteIfExists(const QString &path);

// The TLS library comes with the system (OpenSSL here, Schannel on
// Windows): nothing to provide, nothing written anywhere.
void EnsureTlsLibraries();

// The log line for a failed request, by the error classes of the update
// log: HTTP status, closed connection, socket error, other network or TLS
// error.
QString NetworkErrorLine(QNetworkReply::NetworkError error, int httpStatus,
                         const QString &reasonPhrase, const QString &message);

// The operating system's ID of the calling thread.
quint64 CurrentOsThreadId();

// One update check on a thread of its own: version file, download, checks,
// start of the downloaded copy. It never touches a window: each log line
// and progress value goes into a hand-over field, and a procedure on the
// GUI thread takes it while the worker waits.
class TMyDownloadThread : public QThread
{
    Q_OBJECT
public:
    using LineProcedure = std::function<void(const QString &)>;
    using ValueProcedure = std::function<void(qint64)>;

    // The procedures run on the thread of `gui`, one at a time.
    TMyDownloadThread(UpdateSettings settings, PlatformServices &platform, QObject *gui,
                      LineProcedure showLine, ValueProcedure setProgressMaximum,
                      ValueProcedure setProgressPosition);

    // Starts the thread and returns once its ID is known.
    void startWithId();
    quint64 osThreadId() const { return m_threadId; }
    // Read after the thread has ended.
    bool newVersionLaunched() const { return m_launched; }

    // Hand-over fields.
    QString HMsg;
    qint64 HPBMax = 0;
    qint64 HPBPosition = 0;

protected:
    void run() override;

private:
    struct Fetched {
        QByteArray body;
        QString errorLine; // empty when the request succeeded
    };

    void execute();
    bool CheckVersion(QNetworkAccessManager &manager, VersionFileInfo *info);
    void downloadProgram(QNetworkAccessManager &manager, const VersionFileInfo &info);
    Fetched get(QNetworkAccessManager &manager, const QString &address);
    void log(const QString &line);
    void handOverMax(qint64 value);
    void handOverPosition(qint64 value);

    UpdateSettings m_settings;
    PlatformServices &m_platform;
    QObject *m_gui;
    LineProcedure m_showLine;
    ValueProcedure m_setMax;
    ValueProcedure m_setPosition;
    QSemaphore m_idKnown;
    std::atomic<quint64> m_threadId{0};
    bool m_launched = false;
};
