#pragma once

#include "fetch/decode.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>

namespace lumbrel {

// The User-Agent of crawler mode: no spaces, "+" stands where a space would be.
inline constexpr char CrawlerUserAgent[] =
    "Mozilla/5.0+(Linux;u;Android+4.2.2;zh-cn;)+AppleWebKit/534.46+(KHTML,like+Gecko)+Version/5.1+Mobile+"
    "Safari/10600.6.3+(compatible;+Baiduspider/2.0;++http://www.baidu.com/search/spider.html)";

// How long and how much one fetch may take. Tests shorten these; the program uses the defaults.
struct FetchLimits
{
    // From sending until the whole body is in.
    std::chrono::milliseconds timeLimit{8000};
    // Without any byte moving in either direction.
    std::chrono::milliseconds transferTimeout{2000};
    // Bytes of the (decompressed) body; a larger page is abandoned.
    qint64 sizeCap = qint64(64) * 1024 * 1024;
    int maxRedirects = 10;
};

// One GET: the address, crawler mode and the limits.
struct FetchRequest
{
    QUrl url;
    bool crawler = false;
    FetchLimits limits;

    FetchRequest& setUrl(const QUrl& value);
    FetchRequest& setCrawler(bool value);
    FetchRequest& setLimits(const FetchLimits& value);
    FetchRequest& setTimeLimit(std::chrono::milliseconds value);
};

enum class FetchError
{
    None,
    Timeout,
    HttpStatus,
    Unreachable,
    UnsupportedAddress,
    TooLarge,
    // The platform has no decoder for the page's character set.
    NoDecoder,
};

// The reason of a failed fetch as the status line words it: "超时", "HTTP 404", "无法连接",
// "不支持的网址", "页面过大", "缺少字符集解码器"; empty for None.
QString FailureReason(FetchError error, int httpStatus);

// Only http and https addresses with a host are ever requested, also after a redirect.
bool IsFetchableUrl(const QUrl& url);

// How a fetch ended.
struct FetchOutcome
{
    FetchError error = FetchError::None;
    // The last status code received; 0 when no response arrived.
    int httpStatus = 0;

    bool ok() const
    {
        return error == FetchError::None;
    }
    QString failureReason() const
    {
        return FailureReason(error, httpStatus);
    }
};

// The bytes of a GET: a body only with status 200.
struct FetchResult : FetchOutcome
{
    QByteArray body;
    QByteArray contentType;
};

// The decoded page: a text only when the fetch succeeded.
struct PageText : FetchOutcome
{
    QString text;
};

// One GET in flight: the handle to it, on the caller's thread. The request runs on a thread
// of its own (retrievalThread), so no server can stall the caller's event loop; the outcome
// comes back by a queued signal. `finished` is emitted once, from the event loop, unless the
// fetch is abandoned or destroyed first; then the handle deletes itself later. A body
// arrives only with status 200; redirects are followed up to the limit.
// Start fetches on the application's thread: the retrieval threads are joined when the
// application object goes.
class PageFetch final : public QObject
{
    Q_OBJECT

public:
    explicit PageFetch(FetchRequest request, QObject* parent = nullptr);
    // Stops the retrieval without waiting for it.
    ~PageFetch() override;

    // Stops the request; `finished` is not emitted.
    void abandon();

    // The thread the network work runs on, until it has ended and been deleted.
    QThread* retrievalThread() const;

signals:
    void finished(const lumbrel::FetchResult& result);

private:
    void onRetrieved(const lumbrel::FetchResult& result);

    QPointer<QThread> m_thread;
    bool m_done = false;
};

// `HttpGetBytes`: starts one GET as a child of `context`; `done` gets the outcome unless
// `context` is destroyed or the fetch abandoned first.
PageFetch* HttpGetBytes(const FetchRequest& request, QObject* context, std::function<void(const FetchResult&)> done);

// `FetchText`: HttpGetBytes, then the body decoded in `charset` (BytesToText); a body without
// a decoder for `charset` fails with NoDecoder rather than giving an empty page.
PageFetch* FetchText(const FetchRequest& request,
                     const QString& charset,
                     QObject* context,
                     std::function<void(const PageText&)> done);

// `FetchPage`: the page at `address` (used as given; an address that is no http or https URL
// fails with UnsupportedAddress) in the character set `charset`. `settings` gives crawler
// mode and the limits; its url is replaced.
PageFetch* FetchPage(const QString& address,
                     PageCharset charset,
                     FetchRequest settings,
                     QObject* context,
                     std::function<void(const PageText&)> done);

} // namespace lumbrel
