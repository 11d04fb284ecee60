#include "pricing/HTTPPricingProxyClient.h"

#include "pricing/Futures.h"
#include "pricing/ServiceError.h"

#include <algorithm>

#include <QUrlQuery>

namespace mintlux {

HTTPPricingProxyClient::HTTPPricingProxyClient(Configuration config, HttpTransport transport,
                                               std::chrono::milliseconds timeout,
                                               qint64 maxBodyBytes)
    : m_config(std::move(config)),
      m_fetch(std::move(transport), {timeout, maxBodyBytes, BoundedHttpFetch::Deadline::silence},
              QStringLiteral("Request")) {}

HTTPPricingProxyClient::~HTTPPricingProxyClient() = default;

QFuture<LatestPricesResponse> HTTPPricingProxyClient::fetchLatest(Currency currency) {
    const QUrl url =
        endpoint(QStringLiteral("v1/prices"), {{QStringLiteral("currency"), currency.rawValue()}});
    HttpRequest request;
    request.url = url;
    return get<LatestPricesResponse>(request, [this](const HttpAnswer& answer) {
        return m_decoder.decode<LatestPricesResponse>(answer.body);
    });
}

QFuture<HistoryResponse> HTTPPricingProxyClient::fetchHistory(MetalSeries series, TimeRange range,
                                                              Currency currency, MetalUnit unit) {
    const QUrl url = endpoint(QStringLiteral("v1/history"),
                              {
                                  {QStringLiteral("series"), series.rawValue()},
                                  {QStringLiteral("range"), range.rawValue()},
                                  {QStringLiteral("currency"), currency.rawValue()},
                                  {QStringLiteral("unit"), unit.rawValue()},
                              });
    HttpRequest request;
    request.url = url;
    const QString key = url.toString();
    for (const Held& held : m_held) {
        if (held.key == key) {
            request.setHeader("If-None-Match", held.etag);
        }
    }
    return get<HistoryResponse>(
        request, [this, key](const HttpAnswer& answer) { return historyFrom(key, answer); });
}

HistoryResponse HTTPPricingProxyClient::historyFrom(const QString& key, const HttpAnswer& answer) {
    const auto it =
        std::find_if(m_held.begin(), m_held.end(), [&](const Held& h) { return h.key == key; });
    if (answer.status == 304 && it != m_held.end()) {
        // Still what the service has: the kept document is as fresh as a new one.
        std::rotate(it, it + 1, m_held.end());
        return m_held.back().response;
    }
    if (it != m_held.end()) {
        m_held.erase(it);
    }
    HistoryResponse response = m_decoder.decode<HistoryResponse>(answer.body);
    const QByteArray etag = answer.header("ETag");
    if (answer.status == 200 && !etag.isEmpty()) {
        if (m_held.size() == kHeldHistories) {
            m_held.erase(m_held.begin());
        }
        m_held.push_back({key, etag, response});
    }
    return response;
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

template <WireRecord T>
QFuture<T> HTTPPricingProxyClient::get(HttpRequest request,
                                       std::function<T(const HttpAnswer&)> decode) {
    auto promise = Futures::startedPromise<T>();
    // Whatever the status, an answer whose body decodes is the answer: an error page is no
    // document, and a proxy or gateway that passes a valid one along has still passed it.
    m_fetch.get(
        std::move(request),
        [promise, decode = std::move(decode)](HttpAnswer answer) {
            try {
                Futures::fulfil(*promise, decode(answer));
            } catch (const DecodingError&) {
                auto refusal = ServiceError::fromAnswer(answer.status, answer.body);
                Futures::fail(*promise, refusal ? std::make_exception_ptr(*refusal)
                                                : std::current_exception());
            } catch (...) {
                Futures::fail(*promise, std::current_exception());
            }
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

QString HTTPPricingProxyClient::address() const {
    const QUrl& url = m_config.baseURL;
    const QString host = url.host().contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + url.host() + QLatin1Char(']')
                             : url.host();
    return url.port() < 0 ? host : host + QLatin1Char(':') + QString::number(url.port());
}

}  // namespace mintlux
