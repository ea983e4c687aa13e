#pragma once

// An HTTP server on 127.0.0.1 for the fetch tests.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <utility>

namespace lumbrel::testing {

// Bytes sent as they are, so a test can also play a server that breaks the protocol.
struct Reply
{
    // `delayMs` ms before `bytes` go out (-1: never). With a `drip`, that is sent again every
    // `delayMs` ms, at most `drips` times, and the connection stays open; otherwise it closes.
    QByteArray bytes;
    int delayMs = 0;
    QByteArray drip = {};
    int drips = 100000;
};

// A status line, `headers` (each with its CR LF), a Content-Length unless `length` is negative.
inline QByteArray head(int status, const QByteArray& headers = {}, qint64 length = -1)
{
    const QByteArray size = length < 0 ? QByteArray() : "Content-Length: " + QByteArray::number(length) + "\r\n";
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers + size + "Connection: close\r\n\r\n";
}

inline Reply answer(int status, const QByteArray& body, const QByteArray& headers = {})
{
    return {head(status, headers, body.size()) + body};
}

inline Reply redirect(const QByteArray& location)
{
    return answer(301, {}, "Location: " + location + "\r\n");
}

// A self-signed certificate for 127.0.0.1 (valid until 2126) and its key, made once with
// openssl for the https server below; both lie next to this header.
inline QByteArray LoopbackPem(const char* name)
{
    QFile file(QFileInfo(QStringLiteral(__FILE__)).path() + u"/loopback-" + QLatin1String(name) + u".pem");
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

// Makes every https request of this process trust the loopback certificate.
inline void TrustLoopbackCertificate()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificate(QSslCertificate(LoopbackPem("cert")));
    QSslConfiguration::setDefaultConfiguration(config);
}

enum class Scheme
{
    Http,
    Https
};

// Answers each request path with its reply (others with 404), one request a connection, and
// keeps every request head.
class LoopbackHttpServer
{
public:
    explicit LoopbackHttpServer(Scheme scheme = Scheme::Http)
    {
        if (scheme == Scheme::Https) {
            auto server = std::make_unique<QSslServer>();
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            config.setLocalCertificate(QSslCertificate(LoopbackPem("cert")));
            config.setPrivateKey(QSslKey(LoopbackPem("key"), QSsl::Ec));
            server->setSslConfiguration(config);
            m_server = std::move(server);
        } else {
            m_server = std::make_unique<QTcpServer>();
        }
        // Emitted once a connection is ready to use: for https, after the handshake.
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, m_server.get(), [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(
                    socket, &QTcpSocket::readyRead, socket, [this, socket, received = QByteArray()]() mutable {
                        if (received.contains("\r\n\r\n"))
                            return;
                        received += socket->readAll();
                        if (received.contains("\r\n\r\n")) {
                            m_requests.append(received.left(received.indexOf("\r\n\r\n") + 4));
                            send(socket,
                                 m_routes.value(received.split(' ').value(1), answer(404, "<html>error page</html>")));
                        }
                    });
            }
        });
        if (!m_server->listen(QHostAddress::LocalHost))
            qFatal("loopback server cannot listen");
    }
    QString url(const QString& path) const
    {
        const char* scheme = qobject_cast<QSslServer*>(m_server.get()) ? "https" : "http";
        return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(m_server->serverPort()) + path;
    }
    void route(const QByteArray& path, const Reply& reply)
    {
        m_routes.insert(path, reply);
    }
    const QList<QByteArray>& requests() const
    {
        return m_requests;
    }

private:
    static void send(QTcpSocket* socket, const Reply& r)
    {
        if (r.delayMs < 0)
            return;
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, r, sent = -1]() mutable {
            if (socket->state() != QAbstractSocket::ConnectedState || sent >= r.drips)
                return timer->stop();
            if (sent < 0 && r.drip.isEmpty()) {
                socket->write(r.bytes);
                socket->disconnectFromHost();
                return timer->stop();
            }
            // A client that stops reading must not make us buffer without end.
            if (socket->bytesToWrite() < 1024 * 1024)
                socket->write(sent++ < 0 ? r.bytes : r.drip);
        });
        timer->start(r.delayMs);
    }

    std::unique_ptr<QTcpServer> m_server;
    QHash<QByteArray, Reply> m_routes;
    QList<QByteArray> m_requests;
};

} // namespace lumbrel::testing
