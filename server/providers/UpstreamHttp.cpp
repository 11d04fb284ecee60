#include "providers/UpstreamHttp.h"

#include "pricing/TransportError.h"
#include "providers/MarketProviders.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace mintlux::server {

namespace {

using NetworkError = QNetworkReply::NetworkError;

QByteArray mediaType(const QNetworkReply* reply) {
    QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0) {
        type.truncate(semicolon);
    }
    return type.trimmed().toLower();
}

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
    : m_network(&network),
      m_upstream(std::move(upstream)),
      m_timeout(timeout),
      m_maxBodyBytes(maxBodyBytes) {}

UpstreamHttp::~UpstreamHttp() {
    while (!m_pending.empty()) {
        const auto it = m_pending.begin();
        const std::string description = describe(it->second.url) + " was cancelled";
        abandon(it->first, std::make_exception_ptr(
                               TransportError(TransportError::Kind::cancelled,
                                              NetworkError::OperationCanceledError, description)));
    }
}

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

std::string UpstreamHttp::describe(const QUrl& url) const {
    return m_upstream.toStdString() + " request to " + url.toDisplayString().toStdString();
}

QFuture<QByteArray> UpstreamHttp::get(const QUrl& url, Body expected) {
    auto promise = Futures::startedPromise<QByteArray>();
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setRawHeader("Accept",
                         expected == Body::json ? "application/json" : "application/xml, text/xml");
    QNetworkReply* reply = m_network->get(request);
    reply->setReadBufferSize(m_maxBodyBytes);
    m_pending.emplace(reply, Pending{url, expected, {}, promise});

    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { readAvailable(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readAvailable(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
    // A deadline for the whole transfer, not just for silence: an upstream trickling a byte at a
    // time must not hold a poll open.
    QTimer::singleShot(m_timeout, reply, [this, reply] {
        const auto it = m_pending.find(reply);
        if (it == m_pending.end()) {
            return;
        }
        const std::string description = describe(it->second.url) + " timed out after " +
                                        std::to_string(m_timeout.count()) + " ms";
        abandon(reply,
                std::make_exception_ptr(TransportError(TransportError::Kind::timedOut,
                                                       NetworkError::TimeoutError, description)));
    });
    return promise->future();
}

void UpstreamHttp::readAvailable(QNetworkReply* reply) {
    const auto it = m_pending.find(reply);
    if (it == m_pending.end()) {
        return;
    }
    Pending& pending = it->second;
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 incoming = reply->bytesAvailable();
    if (pending.body.size() + incoming > m_maxBodyBytes ||
        (declared.isValid() && declared.toLongLong() > m_maxBodyBytes)) {
        const std::string description = describe(pending.url) + " answered more than " +
                                        std::to_string(m_maxBodyBytes) + " bytes";
        abandon(reply, std::make_exception_ptr(TransportError(TransportError::Kind::bodyTooLarge,
                                                              NetworkError::UnknownContentError,
                                                              description)));
        return;
    }
    if (incoming > 0) {
        pending.body += reply->read(incoming);
    }
}

void UpstreamHttp::finished(QNetworkReply* reply) {
    readAvailable(reply);
    std::optional<Pending> taken = release(reply);
    if (!taken) {
        return;
    }
    Pending& pending = *taken;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray type = mediaType(reply);

    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        std::string description = describe(pending.url) + " answered HTTP " +
                                  std::to_string(status.toInt()) + " with " +
                                  excerpt(pending.body, type);
        const QByteArray retryAfter = reply->rawHeader("Retry-After").trimmed();
        if (!retryAfter.isEmpty()) {
            description += " (retry after " + retryAfter.left(40).toStdString() + ")";
        }
        Futures::fail(*pending.promise, std::make_exception_ptr(ProviderError(description)));
        return;
    }
    if (const NetworkError error = reply->error(); error != NetworkError::NoError) {
        const std::string description =
            describe(pending.url) + " failed: " + reply->errorString().toStdString();
        Futures::fail(*pending.promise, std::make_exception_ptr(TransportError(
                                            TransportError::Kind::network, error, description)));
        return;
    }
    if (!acceptable(pending.expected, type)) {
        const std::string description =
            describe(pending.url) + " answered " + type.toStdString() + " instead of " +
            (pending.expected == Body::json ? "JSON" : "XML") + ": " + excerpt(pending.body, type);
        Futures::fail(*pending.promise, std::make_exception_ptr(ProviderError(description)));
        return;
    }
    Futures::fulfil(*pending.promise, std::move(pending.body));
}

void UpstreamHttp::abandon(QNetworkReply* reply, std::exception_ptr error) {
    std::optional<Pending> pending = release(reply);
    if (!pending) {
        return;
    }
    reply->abort();
    Futures::fail(*pending->promise, error);
}

std::optional<UpstreamHttp::Pending> UpstreamHttp::release(QNetworkReply* reply) {
    const auto it = m_pending.find(reply);
    if (it == m_pending.end()) {
        return std::nullopt;
    }
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    reply->disconnect(this);
    reply->deleteLater();
    return pending;
}

}  // namespace mintlux::server
