#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <utility>

class QTcpSocket;

namespace lumbrel::testing {

// A small HTTP/1.1 server on 127.0.0.1 for tests. It answers each request path with a
// canned response (unknown paths get 404), closes the connection after an answer, and keeps
// the raw head of every request it received.
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

    struct Response
    {
        int status = 200;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Without Content-Length the body ends when the connection closes.
        bool contentLength = true;
        Pace pace = Pace::AtOnce;
        int intervalMs = 0;

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
    // A gzip member (RFC 1952) holding `data`.
    static QByteArray gzip(const QByteArray& data);

    // Listens at once on a free port.
    explicit LoopbackHttpServer(QObject* parent = nullptr);

    quint16 port() const;
    // "http://127.0.0.1:PORT" followed by `path`.
    QString url(const QString& path) const;
    void route(const QByteArray& path, Response response);
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
};

} // namespace lumbrel::testing
