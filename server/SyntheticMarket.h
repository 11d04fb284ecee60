#pragma once

#include "pricing/MockPricingProxyClient.h"
#include "providers/LiveProviders.h"

#include <memory>

namespace mintlux::server {

// The demo's upstream: the core's synthetic random walk in every provider role, so the demo
// goes through the same poller, recorder and documents as real data. One walk is shared by
// all roles, so history, closes and spot agree where they meet.
class SyntheticMarket final : public SpotProvider, public FxProvider, public DailyHistoryProvider {
public:
    explicit SyntheticMarket(std::shared_ptr<MockPricingProxyClient> walk);

    // Each role once, all on one walk.
    static LiveProviders providers(std::shared_ptr<MockPricingProxyClient> walk);
    // The past week of the walk, hourly, oldest first: what the recorder would hold had the
    // demo been running. Used only to seed an empty demo store.
    static std::vector<SpotQuote> recentWeek(MockPricingProxyClient& walk);

    QString name() const override { return QStringLiteral("synthetic"); }
    QFuture<std::vector<SpotQuote>> fetchSpot() override;
    QFuture<FxRates> fetchRates() override;
    QFuture<std::vector<DailyClose>> fetchDailyCloses(MetalSeries metal) override;

private:
    std::shared_ptr<MockPricingProxyClient> m_walk;
};

}  // namespace mintlux::server
