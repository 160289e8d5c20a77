#include "downloadthread.h"

#include "platformservices.h"
#include "selfreplace.h"
#include "versionfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QSslCertificate>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QUrl>

#include <exception>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <sys/syscall.h>
#include <unistd.h>
#endif

bool IsHostReachable(const QString &address, int timeoutMs)
{
    const QUrl url(address);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const int defaultPort = url.scheme() == QLatin1String("http") ? 80 : 443;
    QTcpSocket socket;
    // A direct attempt: a proxy answering would prove nothing about the server.
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(url.host(), quint16(url.port(defaultPort)));
    const bool reached = socket.waitForConnected(timeoutMs);
    socket.abort();
    return reached;
}

void DeleteIfExists(const QString &path)
{
    if (QFile::exists(path))
        QFile::remove(path);
}

void EnsureTlsLibraries()
{
}

QString NetworkErrorLine(QNetworkReply::NetworkError error, int httpStatus,
                         const QString &reasonPhrase, const QString &message)
{
    if (httpStatus >= 400) {
        return QStringLiteral("> IError protocol: %1; HTTP code: %2")
            .arg(reasonPhrase.isEmpty() ? message : reasonPhrase)
            .arg(httpStatus);
    }
    switch (error) {
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("> IError: connection was closed gracefully!");
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer time-out
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("> Socket IError: ") + message;
    default:
        return QStringLiteral("General IError: ") + message;
    }
}

quint64 CurrentOsThreadId()
{
#if defined(Q_OS_WIN)
    return quint64(GetCurrentThreadId());
#elif defined(Q_OS_LINUX)
    return quint64(::syscall(SYS_gettid));
#else
    return quint64(quintptr(QThread::currentThreadId()));
#endif
}

TMyDownloadThread::TMyDownloadThread(UpdateSettings settings, PlatformServices &platform,
                                     QObject *gui, LineProcedure showLine,
                                     ValueProcedure setProgressMaximum,
                                     ValueProcedure setProgressPosition)
    : m_settings(std::move(settings)), m_platform(platform), m_gui(gui),
      m_showLine(std::move(showLine)), m_setMax(std::move(setProgressMaximum)),
      m_setPosition(std::move(setProgressPosition))
{
}

void TMyDownloadThread::startWithId()
{
    start();
    m_idKnown.acquire();
}

void TMyDownloadThread::run()
{
    m_threadId = CurrentOsThreadId();
    m_idKnown.release();
    // Every error ends as a log line; nothing leaves the thread.
    try {
        execute();
    } catch (const std::exception &e) {
        log(QStringLiteral("> Error: ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        log(QStringLiteral("> Error: unknown error"));
    }
}

void TMyDownloadThread::execute()
{
    log(QStringLiteral("> Downloading files. [th%1]").arg(m_threadId.load()));
    if (!IsHostReachable(m_settings.baseAddress, m_settings.reachTimeoutMs)) {
        log(QStringLiteral("> Net connection failed."));
        return;
    }
    QNetworkAccessManager manager;
    EnsureTlsLibraries();
    VersionFileInfo info;
    if (!CheckVersion(manager, &info)) {
        log(QStringLiteral("> No new version found."));
        return;
    }
    downloadProgram(manager, info);
}

bool TMyDownloadThread::CheckVersion(QNetworkAccessManager &manager, VersionFileInfo *info)
{
    log(QStringLiteral("> Checking version..."));
    const Fetched file = get(manager, VersionFileAddress(m_settings.baseAddress));
    if (!file.errorLine.isEmpty()) {
        log(file.errorLine);
        return false;
    }
    // UTF-8; a byte order mark is dropped by the decoder.
    QStringDecoder utf8(QStringDecoder::Utf8);
    *info = ParseVersionFile(utf8(file.body));
    qint64 offered = 0;
    qint64 running = 0;
    QString error;
    if (!VersionNumber(info->version, &offered, &error) ||
        !VersionNumber(ProgramVersion, &running, &error)) {
        log(QStringLiteral("> Error: ") + error);
        return false;
    }
    return offered > running;
}

void TMyDownloadThread::downloadProgram(QNetworkAccessManager &manager, const VersionFileInfo &info)
{
    log(QStringLiteral("> New version %1 found.").arg(info.version));
    log(QStringLiteral("> Downloading. Please wait..."));
    const Fetched program = get(manager, ProgramFileAddress(m_settings.baseAddress));
    if (!program.errorLine.isEmpty()) {
        log(program.errorLine);
        return;
    }

    // Written under a temporary name; it becomes the "_" file only when
    // every check holds, so a rejected download is never started.
    const QString target = DownloadedFilePath(m_settings.programFolder);
    QSaveFile file(target);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(program.body) != program.body.size()) {
        log(QStringLiteral("> Error: ") + file.errorString());
        return;
    }
    if (QString::number(program.body.size()) != info.expectedSize) {
        file.cancelWriting();
        DeleteIfExists(target);
        log(QStringLiteral("> Wrong size. Please, try again"));
        return;
    }
    if (!info.sha256.isEmpty() &&
        QCryptographicHash::hash(program.body, QCryptographicHash::Sha256).toHex() !=
            info.sha256.toLatin1()) {
        file.cancelWriting();
        DeleteIfExists(target);
        log(QStringLiteral("> Wrong checksum. Please, try again"));
        return;
    }
    if (!file.commit()) {
        log(QStringLiteral("> Error: ") + file.errorString());
        return;
    }
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner | QFile::ExeGroup |
                                      QFile::ExeOther);

    log(QStringLiteral("> New version saved in:"));
    log(ProgramFolderWithSeparator(m_settings.programFolder));
    if (!m_platform.startProgram(target, {}, true)) {
        log(QStringLiteral("> Error: cannot start ") + QDir::toNativeSeparators(target));
        return;
    }
    m_launched = true;
}

TMyDownloadThread::Fetched TMyDownloadThread::get(QNetworkAccessManager &manager,
                                                  const QString &address)
{
    Fetched result;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    if (!m_settings.caFile.isEmpty()) {
        // A private server: its CA alone is trusted, instead of the system's.
        const QList<QSslCertificate> ca = QSslCertificate::fromPath(m_settings.caFile);
        if (ca.isEmpty()) {
            result.errorLine = QStringLiteral("General IError: no CA certificate in ") +
                               QDir::toNativeSeparators(m_settings.caFile);
            return result;
        }
        tls.setCaCertificates(ca);
    }
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);

    QNetworkRequest request{QUrl(address)};
    request.setSslConfiguration(tls);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // Sent with the first request: the server never has to ask.
    const QByteArray credentials =
        (m_settings.userName + QLatin1Char(':') + m_settings.password).toUtf8().toBase64();
    request.setRawHeader("Authorization", "Basic " + credentials);
    request.setTransferTimeout(m_settings.transferTimeoutMs);

    QNetworkReply *reply = manager.get(request);
    bool begun = false;
    connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 received, qint64 total) {
        if (!begun) {
            begun = true;
            handOverMax(qMax<qint64>(total, 0));
        }
        handOverPosition(received);
    });
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    handOverPosition(0);

    if (reply->error() == QNetworkReply::NoError) {
        result.body = reply->readAll();
    } else {
        result.errorLine = NetworkErrorLine(
            reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
            reply->errorString());
    }
    delete reply;
    return result;
}

void TMyDownloadThread::log(const QString &line)
{
    HMsg = line;
    if (m_showLine)
        QMetaObject::invokeMethod(
            m_gui, [this]() { m_showLine(HMsg); }, Qt::BlockingQueuedConnection);
}

void TMyDownloadThread::handOverMax(qint64 value)
{
    HPBMax = value;
    if (m_setMax)
        QMetaObject::invokeMethod(
            m_gui, [this]() { m_setMax(HPBMax); }, Qt::BlockingQueuedConnection);
}

void TMyDownloadThread::handOverPosition(qint64 value)
{
    HPBPosition = value;
    if (m_setPosition)
        QMetaObject::invokeMethod(
            m_gui, [this]() { m_setPosition(HPBPosition); }, Qt::BlockingQueuedConnection);
}
