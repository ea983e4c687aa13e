#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <optional>
#include <utility>

class QTcpSocket;

namespace lumbrel::testing {

// A small HTTP/1.1 server on 127.0.0.1 for tests. It answers each request path with a
// canned response (unknown paths get 404), closes the connection after an answer, and keeps
// the raw head of every request it received. A response may also be raw bytes, so a test can
// play a server that breaks the protocol.
class LoopbackHttpServer final : public QObject
{
    Q_OBJECT

public:
    enum class Pace
    {
        AtOnce,
        // Reads the request and never answers.
        Never,
        // Sends the head, then `body` again every `intervalMs`, until the client goes away.
        Drip,
        // Answers after `intervalMs`.
        Late,
    };

    // No drip writes more chunks than this, so no test can make the server write without end.
    static constexpr int MaxDripChunks = 100000;

    struct Response
    {
        int status = 200;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Without Content-Length the body ends when the connection closes.
        bool contentLength = true;
        // When set, written as it is in place of the status line and headers made from the
        // fields above; `body` follows it unchanged.
        std::optional<QByteArray> rawHead;
        Pace pace = Pace::AtOnce;
        int intervalMs = 0;
        // A drip stops after this many chunks and holds the connection open, silent.
        int dripChunks = MaxDripChunks;

        Response& header(const QByteArray& name, const QByteArray& value)
        {
            headers.emplaceBack(name, value);
            return *this;
        }
    };

    static Response page(const QByteArray& body, const QByteArray& contentType = "text/html");
    static Response status(int code);
    static Response redirect(const QByteArray& location);
    static Response silent();
    static Response drip(const QByteArray& chunk, int intervalMs);
    static Response late(Response response, int delayMs);
    // `head` and `body` sent byte for byte, then the connection closes.
    static Response raw(const QByteArray& head, const QByteArray& body = {});
    // `head` sent byte for byte, then `chunk` again every `intervalMs` (0: as fast as the
    // event loop turns), never finishing.
    static Response rawDrip(const QByteArray& head, const QByteArray& chunk, int intervalMs);
    // A gzip member (RFC 1952) holding `data`.
    static QByteArray gzip(const QByteArray& data);

    // Listens at once on a free port.
    explicit LoopbackHttpServer(QObject* parent = nullptr);

    quint16 port() const;
    // "http://127.0.0.1:PORT" followed by `path`.
    QString url(const QString& path) const;
    void route(const QByteArray& path, Response response);
    // Closes every connection as soon as it is accepted, before reading a byte.
    void setHangUpOnAccept(bool value)
    {
        m_hangUpOnAccept = value;
    }
    // Connections accepted so far.
    int accepted() const
    {
        return m_accepted;
    }
    // The request heads received so far (request line and headers, up to the empty line).
    QList<QByteArray> requests() const
    {
        return m_requests;
    }

private:
    void accept();
    void answer(QTcpSocket* socket, const QByteArray& head);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_routes;
    QList<QByteArray> m_requests;
    int m_accepted = 0;
    bool m_hangUpOnAccept = false;
};

} // namespace lumbrel::testing
