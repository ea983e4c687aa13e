#include "tests/support/loopbackhttpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace lumbrel::testing {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

constexpr qint64 MaxPendingBytes = 1024 * 1024;

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendLittleEndian(QByteArray& out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

} // namespace

LoopbackHttpServer::Response LoopbackHttpServer::page(const QByteArray& body, const QByteArray& contentType)
{
    Response r;
    r.body = body;
    return r.header("Content-Type", contentType);
}

LoopbackHttpServer::Response LoopbackHttpServer::status(int code)
{
    Response r;
    r.status = code;
    r.body = "<html>error page</html>";
    return r;
}

LoopbackHttpServer::Response LoopbackHttpServer::redirect(const QByteArray& location)
{
    Response r;
    r.status = 301;
    return r.header("Location", location);
}

LoopbackHttpServer::Response LoopbackHttpServer::silent()
{
    Response r;
    r.pace = Pace::Never;
    return r;
}

LoopbackHttpServer::Response LoopbackHttpServer::drip(const QByteArray& chunk, int intervalMs)
{
    Response r = page(chunk);
    r.contentLength = false;
    r.pace = Pace::Drip;
    r.intervalMs = intervalMs;
    return r;
}

LoopbackHttpServer::Response LoopbackHttpServer::late(Response response, int delayMs)
{
    response.pace = Pace::Late;
    response.intervalMs = delayMs;
    return response;
}

LoopbackHttpServer::Response LoopbackHttpServer::raw(const QByteArray& head, const QByteArray& body)
{
    Response r;
    r.rawHead = head;
    r.body = body;
    return r;
}

LoopbackHttpServer::Response
LoopbackHttpServer::rawDrip(const QByteArray& head, const QByteArray& chunk, int intervalMs)
{
    Response r = raw(head, chunk);
    r.pace = Pace::Drip;
    r.intervalMs = intervalMs;
    return r;
}

QByteArray LoopbackHttpServer::gzip(const QByteArray& data)
{
    // qCompress gives a 4-byte length, then a zlib stream: 2 bytes of header, raw deflate,
    // 4 bytes of Adler-32. gzip wants the raw deflate between its own header and trailer.
    const QByteArray zlib = qCompress(data);
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out += zlib.mid(6, zlib.size() - 10);
    appendLittleEndian(out, crc32(data));
    appendLittleEndian(out, static_cast<quint32>(data.size()));
    return out;
}

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
    if (!m_server.listen(QHostAddress::LocalHost))
        qFatal("loopback server cannot listen");
}

quint16 LoopbackHttpServer::port() const
{
    return m_server.serverPort();
}

QString LoopbackHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port()) + path;
}

void LoopbackHttpServer::route(const QByteArray& path, Response response)
{
    m_routes.insert(path, std::move(response));
}

void LoopbackHttpServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_accepted;
        if (m_hangUpOnAccept) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            if (received->contains("\r\n\r\n"))
                return; // one request a connection
            *received += socket->readAll();
            const qsizetype end = received->indexOf("\r\n\r\n");
            if (end >= 0)
                answer(socket, received->left(end + 4));
        });
    }
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const QByteArray& head)
{
    m_requests.append(head);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray path = requestLine.value(1);
    const Response r = m_routes.value(path, status(404));
    if (r.pace == Pace::Never)
        return;

    QByteArray reply;
    if (r.rawHead) {
        reply = *r.rawHead;
    } else {
        reply = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
        for (const auto& [name, value] : r.headers)
            reply += name + ": " + value + "\r\n";
        if (r.contentLength && r.pace != Pace::Drip)
            reply += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        reply += "Connection: close\r\n\r\n";
    }

    if (r.pace == Pace::Drip) {
        socket->write(reply);
        auto* timer = new QTimer(socket);
        auto chunks = std::make_shared<int>(0);
        const int limit = std::min(r.dripChunks, MaxDripChunks);
        connect(timer, &QTimer::timeout, socket, [socket, timer, chunks, limit, body = r.body] {
            if (socket->state() != QAbstractSocket::ConnectedState || *chunks >= limit) {
                timer->stop();
                return;
            }
            // A client that stops reading must not make us buffer without end.
            if (socket->bytesToWrite() > MaxPendingBytes)
                return;
            socket->write(body);
            ++*chunks;
        });
        timer->start(r.intervalMs);
        return;
    }
    reply += r.body;
    const auto send = [socket, reply] {
        socket->write(reply);
        socket->disconnectFromHost();
    };
    if (r.pace == Pace::Late)
        QTimer::singleShot(r.intervalMs, socket, send);
    else
        send();
}

} // namespace lumbrel::testing
