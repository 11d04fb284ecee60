#pragma once

#include "providers/MarketProviders.h"
#include "providers/UpstreamHttp.h"

#include <chrono>

#include <QByteArrayView>
#include <QUrl>

namespace mintlux::server {

// The ECB's own daily reference-rate file: units of each currency per euro, from which the
// dollar rates are crossed with exact decimal division (USD->X = EUR->X / EUR->USD).
class EcbFxProvider final : public FxProvider {
public:
    static QUrl defaultUrl();

    explicit EcbFxProvider(QNetworkAccessManager& network, QUrl url = defaultUrl(),
                           std::chrono::milliseconds timeout = UpstreamHttp::kDefaultTimeout);

    QString name() const override;
    QFuture<FxRates> fetchRates() override;

    // The newest day in the file; throws ProviderError on malformed XML or when USD, GBP or
    // INR is missing from that day.
    static FxRates parse(QByteArrayView body);

private:
    QUrl m_url;
    UpstreamHttp m_http;
};

}  // namespace mintlux::server
