#pragma once

#include "providers/MarketProviders.h"
#include "providers/UpstreamHttp.h"

#include <chrono>

#include <QByteArrayView>
#include <QUrl>

namespace mintlux::server {

// Swissquote's public forex quote feed: one request per metal against the US dollar, answered
// with the best bid and offer on each of the bank's trading platforms. The price is the mid of
// the freshest platform's tightest bid/ask.
class SwissquoteSpotProvider final : public SpotProvider {
public:
    static QUrl defaultBaseUrl();

    explicit SwissquoteSpotProvider(
        QNetworkAccessManager& network, QUrl baseUrl = defaultBaseUrl(),
        std::chrono::milliseconds timeout = UpstreamHttp::kDefaultTimeout);

    QString name() const override;
    QFuture<std::vector<SpotQuote>> fetchSpot() override;

    // One instrument's answer; throws ProviderError when it holds no usable bid/ask.
    static SpotQuote parse(QByteArrayView body, MetalSeries metal);

private:
    QUrl m_baseUrl;
    UpstreamHttp m_http;
};

}  // namespace mintlux::server
