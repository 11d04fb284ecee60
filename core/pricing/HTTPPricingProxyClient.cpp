#include "pricing/HTTPPricingProxyClient.h"

#include "pricing/Futures.h"
#include "pricing/TransportError.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace mintlux {

namespace {

using NetworkError = QNetworkReply::NetworkError;

// Qt turns an HTTP error status into one of these, but the answer still arrived and its body
// may well be a valid document.
bool isStatusError(NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code <= 299) || error == NetworkError::ProtocolInvalidOperationError ||
           (code >= 401 && code <= 499);
}

std::string text(const QString& s) {
    return s.toStdString();
}

std::string urlText(const QUrl& url) {
    return text(url.toDisplayString());
}

}  // namespace

HTTPPricingProxyClient::HTTPPricingProxyClient(Configuration config,
                                               std::shared_ptr<QNetworkAccessManager> session,
                                               std::chrono::milliseconds timeout,
                                               qint64 maxBodyBytes)
    : m_config(std::move(config)),
      m_session(session ? std::move(session) : std::make_shared<QNetworkAccessManager>()),
      m_timeout(timeout),
      m_maxBodyBytes(maxBodyBytes) {}

HTTPPricingProxyClient::~HTTPPricingProxyClient() {
    // The session may be shared and outlive us: its replies must not call back into a dead
    // client, and their callers must not wait forever.
    while (!m_pending.empty()) {
        const auto it = m_pending.begin();
        const std::string description = "Request to " + urlText(it->second.url) + " was cancelled";
        abandon(it->first, std::make_exception_ptr(
                               TransportError(TransportError::Kind::cancelled,
                                              NetworkError::OperationCanceledError, description)));
    }
}

QFuture<LatestPricesResponse> HTTPPricingProxyClient::fetchLatest(Currency currency) {
    return get<LatestPricesResponse>(
        endpoint(QStringLiteral("v1/prices"), {{QStringLiteral("currency"), currency.rawValue()}}));
}

QFuture<HistoryResponse> HTTPPricingProxyClient::fetchHistory(MetalSeries series, TimeRange range,
                                                              Currency currency, MetalUnit unit) {
    return get<HistoryResponse>(endpoint(QStringLiteral("v1/history"),
                                         {
                                             {QStringLiteral("series"), series.rawValue()},
                                             {QStringLiteral("range"), range.rawValue()},
                                             {QStringLiteral("currency"), currency.rawValue()},
                                             {QStringLiteral("unit"), unit.rawValue()},
                                         }));
}

QUrl HTTPPricingProxyClient::endpoint(const QString& path,
                                      const QList<std::pair<QString, QString>>& query) const {
    QUrl url = m_config.baseURL;
    // Appended after exactly one slash, keeping the base path and its percent-encoding.
    QString fullPath = url.path(QUrl::FullyEncoded);
    if (!fullPath.endsWith(u'/')) {
        fullPath += u'/';
    }
    url.setPath(fullPath + path, QUrl::TolerantMode);
    QUrlQuery items;
    items.setQueryItems(query);
    url.setQuery(items);
    return url;
}

QNetworkRequest HTTPPricingProxyClient::makeRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(m_timeout.count()));
    return request;
}

template <WireRecord T>
QFuture<T> HTTPPricingProxyClient::get(const QUrl& url) {
    auto promise = Futures::startedPromise<T>();
    send(
        url,
        [this, promise](const QByteArray& body) {
            try {
                Futures::fulfil(*promise, m_decoder.decode<T>(body));
            } catch (...) {
                Futures::fail(*promise, std::current_exception());
            }
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

void HTTPPricingProxyClient::send(const QUrl& url, std::function<void(const QByteArray&)> onBody,
                                  std::function<void(std::exception_ptr)> onError) {
    QNetworkReply* reply = m_session->get(makeRequest(url));
    // Bounds what Qt buffers ahead of us if the event loop is busy while a body streams in.
    reply->setReadBufferSize(m_maxBodyBytes);
    m_pending.emplace(reply, Pending{url, {}, std::move(onBody), std::move(onError)});

    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBodyBytes) {
            readAvailable(reply);  // fails the request without reading the body
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readAvailable(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
}

void HTTPPricingProxyClient::readAvailable(QNetworkReply* reply) {
    const auto it = m_pending.find(reply);
    if (it == m_pending.end()) {
        return;
    }
    Pending& pending = it->second;
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 incoming = reply->bytesAvailable();
    if (pending.body.size() + incoming > m_maxBodyBytes ||
        (declared.isValid() && declared.toLongLong() > m_maxBodyBytes)) {
        const std::string description = "Response from " + urlText(pending.url) +
                                        " is larger than " + std::to_string(m_maxBodyBytes) +
                                        " bytes";
        abandon(reply, std::make_exception_ptr(TransportError(TransportError::Kind::bodyTooLarge,
                                                              NetworkError::UnknownContentError,
                                                              description)));
        return;
    }
    if (incoming > 0) {
        pending.body += reply->read(incoming);
    }
}

void HTTPPricingProxyClient::finished(QNetworkReply* reply) {
    readAvailable(reply);
    std::optional<Pending> taken = release(reply);
    if (!taken) {
        return;
    }
    Pending& pending = *taken;

    const NetworkError error = reply->error();
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
                          isStatusError(error);
    if (error == NetworkError::NoError || answered) {
        pending.onBody(pending.body);
        return;
    }
    // Only our own abandon() aborts a request, and it disconnects first; a cancellation seen
    // here is the transfer time-out firing.
    if (error == NetworkError::OperationCanceledError || error == NetworkError::TimeoutError) {
        const std::string description = "Request to " + urlText(pending.url) + " timed out after " +
                                        std::to_string(m_timeout.count()) + " ms without data";
        pending.onError(std::make_exception_ptr(
            TransportError(TransportError::Kind::timedOut, error, description)));
        return;
    }
    const std::string description =
        "Request to " + urlText(pending.url) + " failed: " + text(reply->errorString());
    pending.onError(
        std::make_exception_ptr(TransportError(TransportError::Kind::network, error, description)));
}

void HTTPPricingProxyClient::abandon(QNetworkReply* reply, std::exception_ptr error) {
    std::optional<Pending> pending = release(reply);
    if (!pending) {
        return;
    }
    reply->abort();
    pending->onError(error);
}

std::optional<HTTPPricingProxyClient::Pending> HTTPPricingProxyClient::release(
    QNetworkReply* reply) {
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

QString HTTPPricingProxyClient::address() const {
    const QUrl& url = m_config.baseURL;
    const QString host = url.host().contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + url.host() + QLatin1Char(']')
                             : url.host();
    return url.port() < 0 ? host : host + QLatin1Char(':') + QString::number(url.port());
}

}  // namespace mintlux
