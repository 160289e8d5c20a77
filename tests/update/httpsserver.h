#pragma once
// An HTTPS server on 127.0.0.1 for the update tests, with a test CA and
// server certificates made by the openssl command.

#include <QDir>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>

// A CA and a certificate for 127.0.0.1 that it signed.
struct TestPki {
    QString caFile;   // PEM of the CA
    QString certFile; // server certificate
    QString keyFile;  // server key
    QString error;    // empty when made

    static TestPki make(const QString &folder, const QString &name)
    {
        TestPki pki;
        const QDir dir(folder);
        pki.caFile = dir.filePath(name + QStringLiteral("-ca.pem"));
        pki.certFile = dir.filePath(name + QStringLiteral("-server.pem"));
        pki.keyFile = dir.filePath(name + QStringLiteral("-server.key"));
        const QString caKey = dir.filePath(name + QStringLiteral("-ca.key"));
        const QString csr = dir.filePath(name + QStringLiteral("-server.csr"));
        const QString ext = dir.filePath(name + QStringLiteral("-server.ext"));
        QFile extFile(ext);
        if (!extFile.open(QIODevice::WriteOnly)) {
            pki.error = QStringLiteral("cannot write ") + ext;
            return pki;
        }
        extFile.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                      "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n");
        extFile.close();
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        const QList<QStringList> steps = {
            QStringList{"req", "-x509"} + ec +
                QStringList{"-keyout", caKey, "-out", pki.caFile, "-days", "3", "-subj",
                            "/CN=Korvel test CA " + name, "-addext",
                            "basicConstraints=critical,CA:TRUE", "-addext",
                            "keyUsage=critical,keyCertSign,cRLSign"},
            QStringList{"req"} + ec +
                QStringList{"-keyout", pki.keyFile, "-out", csr, "-subj", "/CN=127.0.0.1"},
            QStringList{"x509", "-req", "-in", csr, "-CA", pki.caFile, "-CAkey", caKey,
                        "-CAcreateserial", "-out", pki.certFile, "-days", "3", "-extfile", ext},
        };
        for (const QStringList &args : steps) {
            QProcess openssl;
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start(QStringLiteral("openssl"), args);
            if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
                openssl.exitCode() != 0) {
                pki.error = QStringLiteral("openssl %1: %2")
                                .arg(args.join(' '), QString::fromLocal8Bit(openssl.readAll()));
                return pki;
            }
        }
        return pki;
    }
};

class TestHttpsServer : public QObject
{
public:
    struct Response {
        int status = 200;
        QByteArray reason = "OK";
        QByteArray body;
        QByteArray location;        // a redirect target
        bool closeSilently = false; // read the request, close without an answer
    };

    // `auth` is the Authorization header every request must carry.
    bool start(const TestPki &pki, const QByteArray &auth)
    {
        m_auth = auth;
        QFile cert(pki.certFile);
        QFile key(pki.keyFile);
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
            return false;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(QSslCertificate(cert.readAll(), QSsl::Pem));
        config.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server.setSslConfiguration(config);
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this]() {
            while (m_server.hasPendingConnections())
                accept(static_cast<QSslSocket *>(m_server.nextPendingConnection()));
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }

    QString base() const
    {
        return QStringLiteral("https://127.0.0.1:%1").arg(m_server.serverPort());
    }

    void route(const QByteArray &path, const Response &response)
    {
        m_routes.insert(path, response);
    }

    // While held, requests wait for release().
    void hold() { m_hold = true; }
    void release()
    {
        m_hold = false;
        const auto held = std::exchange(m_held, {});
        for (const auto &[socket, path] : held) {
            if (socket)
                answer(socket, path);
        }
    }
    int heldCount() const { return int(m_held.size()); }

    // Paths of all complete requests, in arrival order.
    QList<QByteArray> requests;
    // Requests that came without the right credentials.
    int unauthorized = 0;

private:
    void accept(QSslSocket *socket)
    {
        socket->setParent(this);
        auto *buffer = new QByteArray;
        QObject::connect(socket, &QObject::destroyed, [buffer]() { delete buffer; });
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QIODevice::readyRead, this, [this, socket, buffer]() {
            buffer->append(socket->readAll());
            if (buffer->size() > 65536) {
                socket->abort();
                return;
            }
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            QByteArray auth;
            for (const QByteArray &line : lines) {
                if (line.toLower().startsWith("authorization:"))
                    auth = line.mid(14).trimmed();
            }
            buffer->clear();
            const QByteArray path = requestLine.value(1);
            requests.append(path);
            if (auth != m_auth) {
                ++unauthorized;
                write(socket, Response{401, "Unauthorized", "sign in first", {}, false});
                return;
            }
            if (m_hold) {
                m_held.append({QPointer<QSslSocket>(socket), path});
                return;
            }
            answer(socket, path);
        });
    }

    void answer(QSslSocket *socket, const QByteArray &path)
    {
        write(socket, m_routes.value(path, Response{404, "Not Found", "no such file", {}, false}));
    }

    static void write(QSslSocket *socket, const Response &r)
    {
        if (r.closeSilently) {
            socket->disconnectFromHost();
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\n";
        head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        if (!r.location.isEmpty())
            head += "Location: " + r.location + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head + r.body);
        socket->disconnectFromHost();
    }

    QSslServer m_server;
    QByteArray m_auth;
    QHash<QByteArray, Response> m_routes;
    bool m_hold = false;
    QList<std::pair<QPointer<QSslSocket>, QByteArray>> m_held;
};
