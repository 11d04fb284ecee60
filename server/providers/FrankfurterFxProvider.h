#pragma once

#include "providers/MarketProviders.h"
#include "providers/UpstreamHttp.h"

#include <chrono>

#include <QByteArrayView>
#include <QUrl>

namespace mintlux::server {

// The ECB's euro reference rates rebased on the US dollar by Frankfurter, as JSON: one request
// for EUR, GBP and INR. The dirham is pegged and never asked for.
class FrankfurterFxProvider final : public FxProvider {
public:
    static QUrl defaultBaseUrl();

    explicit FrankfurterFxProvider(
        QNetworkAccessManager& network, QUrl baseUrl = defaultBaseUrl(),
        std::chrono::milliseconds timeout = UpstreamHttp::kDefaultTimeout);

    QString name() const override;
    QFuture<FxRates> fetchRates() override;

    // Throws ProviderError unless the answer is USD-based and has a positive rate for each of
    // EUR, GBP and INR.
    static FxRates parse(QByteArrayView body);

private:
    QUrl m_baseUrl;
    UpstreamHttp m_http;
};

}  // namespace mintlux::server
