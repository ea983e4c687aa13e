#include "fetch/fetcher.h"

#include "fetch/decode.h"
#include "fetch/inflate.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace lumbrel {

FetchRequest& FetchRequest::setUrl(const QUrl& value)
{
    url = value;
    return *this;
}

FetchRequest& FetchRequest::setCrawler(bool value)
{
    crawler = value;
    return *this;
}

FetchRequest& FetchRequest::setLimits(const FetchLimits& value)
{
    limits = value;
    return *this;
}

FetchRequest& FetchRequest::setTimeLimit(std::chrono::milliseconds value)
{
    limits.timeLimit = value;
    return *this;
}

QString FailureReason(FetchError error, int httpStatus)
{
    switch (error) {
    case FetchError::None:
        return {};
    case FetchError::Timeout:
        return QStringLiteral("超时");
    case FetchError::HttpStatus:
        return QStringLiteral("HTTP ") + QString::number(httpStatus);
    case FetchError::Unreachable:
        return QStringLiteral("无法连接");
    case FetchError::UnsupportedAddress:
        return QStringLiteral("不支持的网址");
    case FetchError::TooLarge:
        return QStringLiteral("页面过大");
    case FetchError::NoDecoder:
        return QStringLiteral("缺少字符集解码器");
    }
    return {};
}

bool IsFetchableUrl(const QUrl& url)
{
    const QString scheme = url.scheme();
    const bool web =
        scheme.compare(u"http", Qt::CaseInsensitive) == 0 || scheme.compare(u"https", Qt::CaseInsensitive) == 0;
    return url.isValid() && web && !url.host().isEmpty();
}

namespace {

// Body bytes Qt may hold for us beyond what we have read.
constexpr qint64 ReadAhead = 1024 * 1024;

} // namespace

// The network side of one fetch, living on its RetrievalThread: it sends the request when the
// thread starts and reports the outcome once, by `retrieved`. Deleted on that thread when its
// event loop ends; a reply still running then is aborted.
class FetchWorker final : public QObject
{
    Q_OBJECT

public:
    explicit FetchWorker(FetchRequest request)
        : m_request(std::move(request))
        , m_limitTimer(new QTimer(this))
    {
        m_limitTimer->setSingleShot(true);
        connect(m_limitTimer, &QTimer::timeout, this, [this] { stop(FetchError::Timeout); });
    }
    ~FetchWorker() override
    {
        // Silently: nobody waits for this outcome. The manager, our child, deletes the reply.
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
        }
    }

    void start();

signals:
    void retrieved(const lumbrel::FetchResult& result);

private:
    void send(const QUrl& url);
    void onReadyRead();
    // Keeps the body bytes of a 200 answer, inflated; drops those of any other. False when
    // the compressed stream is broken.
    bool take(const QByteArray& bytes);
    void onProgress(qint64 received, qint64 total);
    void onReplyFinished();
    // Sends the request on to the next hop of a redirect; false when the answer is no
    // redirect or the hop is not to be taken (the reason is set for an address refused).
    bool followRedirect(int status);
    void stop(FetchError why);
    void finish(FetchResult result);
    void dropReply();
    void releaseReply();

    FetchRequest m_request;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QTimer* m_limitTimer;
    QByteArray m_body;
    std::unique_ptr<BodyInflater> m_inflater;
    FetchError m_stopReason = FetchError::None;
    int m_redirects = 0;
    bool m_done = false;
};

void FetchWorker::start()
{
    if (!IsFetchableUrl(m_request.url))
        return finish({FetchError::UnsupportedAddress, 0, {}, {}});
    // A manager of its own: no cookies, cache or connections shared between fetches.
    m_manager = new QNetworkAccessManager(this);
    send(m_request.url);
    // One limit for all the hops together.
    m_limitTimer->start(m_request.limits.timeLimit);
}

void FetchWorker::send(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(m_request.limits.transferTimeout.count()));
    // Redirects are ours to follow (onReplyFinished): Qt's own policies refuse an https page
    // that leads to http, which a browser follows.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The codings BodyInflater reads. Asked for by us, they reach us still compressed: Qt's own
    // inflating would pass a stream that ends too soon as a whole page.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    if (m_request.crawler) {
        request.setRawHeader("If-Modified-Since", "0");
        request.setRawHeader("User-Agent", CrawlerUserAgent);
        request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    }
    m_reply = m_manager->get(request);
    // Qt reads on its own thread and tells us only once it has caught up: a server faster
    // than our event loop would fill memory past the size cap before we ever see a byte.
    // With a bounded read buffer, Qt stops reading until we have taken what it holds.
    m_reply->setReadBufferSize(ReadAhead);
    connect(m_reply, &QNetworkReply::readyRead, this, &FetchWorker::onReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &FetchWorker::onProgress);
    connect(m_reply, &QNetworkReply::finished, this, &FetchWorker::onReplyFinished);
}

void FetchWorker::onReadyRead()
{
    if (!take(m_reply->readAll()))
        stop(FetchError::Unreachable); // the page cannot be read; no point taking more of it
    else if (m_body.size() > m_request.limits.sizeCap)
        stop(FetchError::TooLarge);
}

bool FetchWorker::take(const QByteArray& bytes)
{
    if (bytes.isEmpty() || m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
        return true;
    if (!m_inflater) {
        const auto coding = BodyInflater::codingOf(m_reply->rawHeader("Content-Encoding"));
        m_inflater = std::make_unique<BodyInflater>(coding);
    }
    return m_inflater->feed(bytes, m_body, m_request.limits.sizeCap);
}

void FetchWorker::onProgress(qint64 received, qint64 total)
{
    // `total` is the announced length: a page announced too large is not waited for.
    if (received > m_request.limits.sizeCap || total > m_request.limits.sizeCap)
        stop(FetchError::TooLarge);
}

void FetchWorker::stop(FetchError why)
{
    if (m_done || !m_reply)
        return;
    if (m_stopReason == FetchError::None)
        m_stopReason = why;
    m_reply->abort(); // emits finished at once
}

void FetchWorker::onReplyFinished()
{
    if (m_done)
        return;
    FetchResult result;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.httpStatus = status.isValid() ? status.toInt() : 0;
    const QNetworkReply::NetworkError error = m_reply->error();
    if (m_stopReason == FetchError::None && m_reply->isOpen()) {
        take(m_reply->readAll()); // a stream that broke here is incomplete, which is checked below
        if (m_body.size() > m_request.limits.sizeCap)
            m_stopReason = FetchError::TooLarge;
    }
    if (m_stopReason == FetchError::None && error == QNetworkReply::NoError && followRedirect(result.httpStatus))
        return;
    m_limitTimer->stop();
    if (m_stopReason != FetchError::None) {
        result.error = m_stopReason;
    } else if (error == QNetworkReply::NoError && result.httpStatus == 200 && m_inflater && !m_inflater->complete()) {
        // The transfer ended, the compressed page did not: it was cut short.
        result.error = FetchError::Unreachable;
    } else if (error == QNetworkReply::NoError && result.httpStatus == 200) {
        result.body = std::move(m_body);
        result.contentType = m_reply->rawHeader("Content-Type");
    } else if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        // We abort only with a reason set, so a cancel without one is the transfer time-out.
        result.error = FetchError::Timeout;
    } else if (error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolInvalidOperationError) {
        result.error = FetchError::UnsupportedAddress;
    } else if (result.httpStatus > 0 && result.httpStatus != 200) {
        result.error = FetchError::HttpStatus;
    } else {
        result.error = FetchError::Unreachable;
    }
    m_body.clear();
    finish(std::move(result));
}

bool FetchWorker::followRedirect(int status)
{
    if (!QList<int>{301, 302, 303, 307, 308}.contains(status) || !m_reply->hasRawHeader("Location"))
        return false;
    const QUrl next = m_reply->url().resolved(QUrl::fromEncoded(m_reply->rawHeader("Location")));
    // Each hop is checked as the first address was; a loop ends on the last redirect's status.
    if (!IsFetchableUrl(next)) {
        m_stopReason = FetchError::UnsupportedAddress;
        return false;
    }
    if (++m_redirects > m_request.limits.maxRedirects)
        return false;
    releaseReply();
    send(next);
    return true;
}

void FetchWorker::finish(FetchResult result)
{
    if (m_done)
        return;
    m_done = true;
    dropReply();
    emit retrieved(result);
    // The worker, its manager and what is left of the reply go as the thread ends.
    thread()->quit();
}

void FetchWorker::dropReply()
{
    m_limitTimer->stop();
    releaseReply();
}

void FetchWorker::releaseReply()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    if (!reply->isFinished())
        reply->abort();
    reply->deleteLater();
}

namespace {

// The retrieval threads are children of the application, so they are joined before it goes;
// the objects named so are the ones ours.
const QString RetrievalThreadName = QStringLiteral("lumbrel fetch");

// One fetch's thread, with its worker. It ends once the worker is done or the handle lets go,
// and deletes itself then; one still running when the application goes is waited for.
class RetrievalThread final : public QThread
{
public:
    explicit RetrievalThread(FetchRequest request)
        : QThread(QCoreApplication::instance())
        , m_worker(new FetchWorker(std::move(request)))
    {
        setObjectName(RetrievalThreadName);
        m_worker->moveToThread(this);
        connect(this, &QThread::finished, this, &QObject::deleteLater);
        // Post routines run first in the application's destructor, while it is whole.
        static QCoreApplication* joinedFor = nullptr;
        if (joinedFor != QCoreApplication::instance()) {
            joinedFor = QCoreApplication::instance();
            qAddPostRoutine(joinAll);
        }
    }
    ~RetrievalThread() override
    {
        quit();
        wait();
    }
    FetchWorker* worker() const
    {
        return m_worker;
    }

protected:
    void run() override
    {
        m_worker->start();
        exec();
        // Here, not after `finished`: tearing down the manager may take Qt up to 5 s, and the
        // application's thread deletes us, waiting, once `finished` is out.
        delete m_worker;
    }

private:
    static void joinAll()
    {
        const auto threads =
            QCoreApplication::instance()->findChildren<QThread*>(RetrievalThreadName, Qt::FindDirectChildrenOnly);
        for (QThread* thread : threads)
            delete thread;
    }

    FetchWorker* m_worker;
};

} // namespace

PageFetch::PageFetch(FetchRequest request, QObject* parent)
    : QObject(parent)
{
    auto* thread = new RetrievalThread(std::move(request));
    connect(thread->worker(), &FetchWorker::retrieved, this, &PageFetch::onRetrieved, Qt::QueuedConnection);
    m_thread = thread;
    thread->start();
}

PageFetch::~PageFetch()
{
    // The worker aborts its reply as its thread ends; nothing here waits for that.
    if (m_thread)
        m_thread->quit();
}

QThread* PageFetch::retrievalThread() const
{
    return m_thread;
}

void PageFetch::abandon()
{
    if (m_done)
        return;
    m_done = true;
    if (m_thread)
        m_thread->quit();
    deleteLater();
}

void PageFetch::onRetrieved(const FetchResult& result)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(result);
    deleteLater();
}

PageFetch* HttpGetBytes(const FetchRequest& request, QObject* context, std::function<void(const FetchResult&)> done)
{
    auto* fetch = new PageFetch(request, context);
    QObject::connect(fetch, &PageFetch::finished, fetch, std::move(done));
    return fetch;
}

PageFetch* FetchText(const FetchRequest& request,
                     const QString& charset,
                     QObject* context,
                     std::function<void(const PageText&)> done)
{
    return HttpGetBytes(request, context, [charset, done = std::move(done)](const FetchResult& bytes) {
        PageText page{bytes, {}};
        if (page.ok()) {
            if (std::optional<QString> text = BytesToText(bytes.body, charset))
                page.text = *std::move(text);
            else
                page.error = FetchError::NoDecoder;
        }
        done(page);
    });
}

PageFetch* FetchPage(const QString& address,
                     PageCharset charset,
                     FetchRequest settings,
                     QObject* context,
                     std::function<void(const PageText&)> done)
{
    settings.setUrl(QUrl(address, QUrl::TolerantMode));
    return FetchText(settings, CharsetName(charset), context, std::move(done));
}

} // namespace lumbrel

#include "fetcher.moc"
