#pragma once

#include "net/BoundedHttpFetch.h"
#include "pricing/PricingProxyClient.h"
#include "pricing/WireDecoder.h"

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QUrl>

namespace mintlux {

// The pricing API over HTTP(S): one GET per operation, the answer decoded as a wire record.
// No retries, no cache of its own: whatever body arrives is decoded, whatever its status. The
// history documents last fetched are kept with their ETag and asked for again conditionally;
// a 304 gives the kept document back. A body that is no
// record but the service's own error document under an error status fails as a ServiceError;
// every other failure, transport or decoding, reaches the caller as it was raised.
class HTTPPricingProxyClient final : public PricingProxyClient {
public:
    struct Configuration {
        QUrl baseURL;  // absolute; a path in it stays in front of the API's paths
    };

    static constexpr std::chrono::milliseconds kDefaultTimeout{60'000};
    // Above any real document (100,000 history points are about 5 MB), low enough that a
    // runaway or hostile body cannot exhaust memory.
    static constexpr qint64 kDefaultMaxBodyBytes = 8 * 1024 * 1024;
    // History documents kept for revalidation: a metal's ranges in one currency and unit.
    static constexpr std::size_t kHeldHistories = 8;

    // The pricing service shipped with the application.
    static QUrl builtInBaseURL() { return QUrl(QStringLiteral("http://127.0.0.1:47190/")); }

    // Without a transport each request goes over a socket of its own on this thread, waking no
    // worker thread (what an idle app polling once a minute wants). The time-out is the longest
    // silence the transfer tolerates.
    explicit HTTPPricingProxyClient(Configuration config, HttpTransport transport = {},
                                    std::chrono::milliseconds timeout = kDefaultTimeout,
                                    qint64 maxBodyBytes = kDefaultMaxBodyBytes);
    // Requests still running fail with a cancelled TransportError.
    ~HTTPPricingProxyClient() override;

    QFuture<LatestPricesResponse> fetchLatest(Currency currency) override;
    QFuture<HistoryResponse> fetchHistory(MetalSeries series, TimeRange range, Currency currency,
                                          MetalUnit unit) override;
    QString address() const override;

private:
    QUrl endpoint(const QString& path, const QList<std::pair<QString, QString>>& query) const;
    template <WireRecord T>
    QFuture<T> get(HttpRequest request, std::function<T(const HttpAnswer&)> decode);
    HistoryResponse historyFrom(const QString& key, const HttpAnswer& answer);

    struct Held {
        QString key;  // the request's URL
        QByteArray etag;
        HistoryResponse response;
    };

    Configuration m_config;
    WireDecoder m_decoder;
    std::vector<Held> m_held;  // the most recently fetched last
    // Last, so it goes first: its cancellations must find the decoder still here.
    BoundedHttpFetch m_fetch;
};

}  // namespace mintlux
