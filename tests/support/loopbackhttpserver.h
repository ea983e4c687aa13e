#pragma once

// An HTTP server on 127.0.0.1 for the fetch tests.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

namespace lumbrel::testing {

// Bytes sent as they are, so a test can also play a server that breaks the protocol.
struct Reply
{
    // `wait` ms before `first` goes out (-1: never). With a `chunk`, that is sent again every
    // `wait` ms, at most `times` times, and the connection stays open; otherwise it closes.
    Reply(QByteArray first = {}, int wait = 0, QByteArray chunk = {}, int times = 100000)
        : bytes(std::move(first))
        , delayMs(wait)
        , drip(std::move(chunk))
        , drips(times)
    {
    }

    QByteArray bytes;
    int delayMs;
    QByteArray drip;
    int drips;
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

// Answers each request path with its reply (others with 404), one request a connection, and
// keeps every request head.
class LoopbackHttpServer
{
public:
    LoopbackHttpServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                accept(socket);
        });
        if (!m_server.listen(QHostAddress::LocalHost))
            qFatal("loopback server cannot listen");
    }
    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()) + path;
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
    void accept(QTcpSocket* socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received = QByteArray()]() mutable {
            if (received.contains("\r\n\r\n"))
                return;
            received += socket->readAll();
            if (received.contains("\r\n\r\n")) {
                m_requests.append(received.left(received.indexOf("\r\n\r\n") + 4));
                send(socket, m_routes.value(received.split(' ').value(1), answer(404, "<html>error page</html>")));
            }
        });
    }
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

    QTcpServer m_server;
    QHash<QByteArray, Reply> m_routes;
    QList<QByteArray> m_requests;
};

} // namespace lumbrel::testing
