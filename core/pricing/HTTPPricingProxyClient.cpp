#include "pricing/HTTPPricingProxyClient.h"

#include "pricing/Futures.h"
#include "pricing/ServiceError.h"

#include <QUrlQuery>

namespace mintlux {

HTTPPricingProxyClient::HTTPPricingProxyClient(Configuration config,
                                               std::shared_ptr<QNetworkAccessManager> session,
                                               std::chrono::milliseconds timeout,
                                               qint64 maxBodyBytes)
    : m_config(std::move(config)),
      m_session(session ? std::move(session) : std::make_shared<QNetworkAccessManager>()),
      m_fetch(*m_session, {timeout, maxBodyBytes, BoundedHttpFetch::Deadline::silence},
              QStringLiteral("Request")) {}

HTTPPricingProxyClient::~HTTPPricingProxyClient() = default;

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

template <WireRecord T>
QFuture<T> HTTPPricingProxyClient::get(const QUrl& url) {
    auto promise = Futures::startedPromise<T>();
    // Whatever the status, an answer whose body decodes is the answer: an error page is no
    // document, and a proxy or gateway that passes a valid one along has still passed it.
    m_fetch.get(
        QNetworkRequest(url),
        [this, promise](HttpAnswer answer) {
            try {
                Futures::fulfil(*promise, m_decoder.decode<T>(answer.body));
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
