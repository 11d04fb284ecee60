#include "providers/UpstreamHttp.h"

#include "net/AccessManagerExchange.h"
#include "providers/MarketProviders.h"

namespace mintlux::server {

namespace {

// Generic types are left to the parser, which rejects anything that is not its format; what is
// refused here are the pages a CDN, a captive portal or a maintenance banner put in its place.
bool acceptable(UpstreamHttp::Body expected, const QByteArray& type) {
    if (type.isEmpty() || type == "text/plain" || type == "application/octet-stream") {
        return true;
    }
    const QByteArray format = expected == UpstreamHttp::Body::json ? "json" : "xml";
    return type.endsWith('/' + format) || type.endsWith('+' + format);
}

// A short, printable excerpt of an error body for the log line.
std::string excerpt(const QByteArray& body, const QByteArray& type) {
    if (type.contains("html")) {
        return "an HTML page";
    }
    QString text = QString::fromUtf8(body.left(160)).simplified();
    for (QChar& c : text) {
        if (!c.isPrint()) {
            c = u'?';
        }
    }
    if (text.isEmpty()) {
        return "an empty body";
    }
    return '"' + text.toStdString() + (body.size() > 160 ? "...\"" : "\"");
}

}  // namespace

UpstreamHttp::UpstreamHttp(QNetworkAccessManager& network, QString upstream,
                           std::chrono::milliseconds timeout, qint64 maxBodyBytes)
    : m_upstream(std::move(upstream)),
      m_fetch(accessManagerTransport(network),
              {timeout, maxBodyBytes, BoundedHttpFetch::Deadline::wholeTransfer},
              m_upstream + QStringLiteral(" request")) {}

UpstreamHttp::~UpstreamHttp() = default;

QUrl UpstreamHttp::resolve(const QUrl& base, const QString& path) {
    QUrl url = base;
    QString fullPath = url.path(QUrl::FullyEncoded);
    if (!fullPath.endsWith(u'/')) {
        fullPath += u'/';
    }
    url.setPath(fullPath + path, QUrl::TolerantMode);
    return url;
}

QByteArray UpstreamHttp::userAgent() {
    // Named and versioned, so an upstream that throttles or blocks us can tell who we are.
    return QByteArrayLiteral("mintlux-pricing/" MINTLUX_VERSION);
}

QFuture<QByteArray> UpstreamHttp::get(const QUrl& url, Body expected) {
    auto promise = Futures::startedPromise<QByteArray>();
    HttpRequest request;
    request.url = url;
    request.setHeader("User-Agent", userAgent());
    request.setHeader("Accept",
                      expected == Body::json ? "application/json" : "application/xml, text/xml");
    m_fetch.get(
        request,
        [this, url, expected, promise](HttpAnswer answer) {
            const std::string what = m_fetch.describe(url);
            if (answer.status < 200 || answer.status > 299) {
                std::string description = what + " answered HTTP " + std::to_string(answer.status) +
                                          " with " + excerpt(answer.body, answer.mediaType);
                const QByteArray retryAfter = answer.header("Retry-After").trimmed();
                if (!retryAfter.isEmpty()) {
                    description += " (retry after " + retryAfter.left(40).toStdString() + ")";
                }
                Futures::fail(*promise, std::make_exception_ptr(ProviderError(
                                            description, "HTTP " + std::to_string(answer.status))));
            } else if (!acceptable(expected, answer.mediaType)) {
                const std::string description = what + " answered " +
                                                answer.mediaType.toStdString() + " instead of " +
                                                (expected == Body::json ? "JSON" : "XML") + ": " +
                                                excerpt(answer.body, answer.mediaType);
                Futures::fail(*promise,
                              std::make_exception_ptr(ProviderError(
                                  description, "sent " + answer.mediaType.left(40).toStdString())));
            } else {
                Futures::fulfil(*promise, std::move(answer.body));
            }
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

}  // namespace mintlux::server
