#pragma once

#include "providers/MarketProviders.h"
#include "providers/UpstreamHttp.h"

#include <array>
#include <chrono>

#include <QByteArrayView>
#include <QDate>
#include <QUrl>

namespace mintlux::server {

// Daily reference prices of the four metals from Frankfurter's v2 API: the rates that central
// banks publish for XAU, XAG, XPT and XPD, blended by Frankfurter and rebased on the US dollar,
// per troy ounce. One request per metal; the first asks for the whole series, later ones only
// for the last weeks.
class FrankfurterDailyProvider final : public DailyHistoryProvider {
public:
    static QUrl defaultBaseUrl();
    // Frankfurter's metal series start in 1999 (palladium in 2000).
    static QDate earliestDay() { return {1999, 1, 1}; }
    // Later requests go this far behind the newest day already answered, so late publishers
    // and revised blends are picked up.
    static constexpr int kOverlapDays = 31;

    explicit FrankfurterDailyProvider(
        QNetworkAccessManager& network, QUrl baseUrl = defaultBaseUrl(),
        std::chrono::milliseconds timeout = UpstreamHttp::kDefaultTimeout);

    QString name() const override;
    QFuture<std::vector<DailyClose>> fetchDailyCloses(MetalSeries metal) override;

    // The dollar prices of `metal`, oldest first. Weekend rows (some publishers carry Friday's
    // rate into Saturday) are left out. Throws ProviderError when a row is for another pair,
    // a day appears twice, no weekday is priced, or the document is malformed.
    static std::vector<DailyClose> parse(QByteArrayView body, MetalSeries metal);

private:
    QUrl m_baseUrl;
    UpstreamHttp m_http;
    // The newest day answered per metal; invalid until a request succeeded.
    std::array<QDate, 4> m_newest;
};

}  // namespace mintlux::server
