#pragma once

#include "providers/MarketProviders.h"
#include "providers/UpstreamHttp.h"

#include <chrono>

#include <QByteArrayView>
#include <QUrl>

namespace mintlux::server {

// The LBMA's published daily price series, one JSON file per metal: the Gold Price PM, the
// Silver Price and the Platinum and Palladium Prices PM, in US dollars per troy ounce. Each
// file holds the whole history, so one request seeds every range.
class LbmaDailyProvider final : public DailyHistoryProvider {
public:
    static QUrl defaultBaseUrl();
    // The file that holds `metal`'s series, e.g. "gold_pm.json".
    static QString fileName(MetalSeries metal);

    explicit LbmaDailyProvider(QNetworkAccessManager& network, QUrl baseUrl = defaultBaseUrl(),
                               std::chrono::milliseconds timeout = UpstreamHttp::kDefaultTimeout);

    QString name() const override;
    QFuture<std::vector<DailyClose>> fetchDailyCloses(MetalSeries metal) override;

    // The US-dollar closes, oldest first, without the days whose price is null or zero. Throws
    // ProviderError when no day has a price, or on a malformed file.
    static std::vector<DailyClose> parse(QByteArrayView body);

private:
    QUrl m_baseUrl;
    UpstreamHttp m_http;
};

}  // namespace mintlux::server
