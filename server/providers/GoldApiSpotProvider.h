#pragma once

#include "providers/MarketProviders.h"
#include "providers/UpstreamHttp.h"

#include <chrono>

#include <QByteArrayView>
#include <QUrl>

namespace mintlux::server {

// gold-api.com's keyless price endpoint: one request per metal, a single US-dollar price with
// the time the upstream last updated it.
class GoldApiSpotProvider final : public SpotProvider {
public:
    static QUrl defaultBaseUrl();

    explicit GoldApiSpotProvider(QNetworkAccessManager& network, QUrl baseUrl = defaultBaseUrl(),
                                 std::chrono::milliseconds timeout = UpstreamHttp::kDefaultTimeout);

    QString name() const override;
    QFuture<std::vector<SpotQuote>> fetchSpot() override;

    // One symbol's answer; throws ProviderError unless it is a positive USD price for `metal`.
    static SpotQuote parse(QByteArrayView body, MetalSeries metal);

private:
    QUrl m_baseUrl;
    UpstreamHttp m_http;
};

}  // namespace mintlux::server
