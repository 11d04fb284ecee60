#pragma once

#include "pricing/Clock.h"
#include "pricing/PricingProxyClient.h"
#include "pricing/RandomSource.h"

#include <array>
#include <memory>

namespace mintlux {

// Plausible prices without a network: a random walk for the latest prices and a walk backwards
// from the current value for history, in US dollars per troy ounce, converted with fixed rates.
// All price arithmetic is decimal; the random draws are the only binary floating point.
class MockPricingProxyClient final : public PricingProxyClient {
public:
    explicit MockPricingProxyClient(std::shared_ptr<RandomSource> random = nullptr,
                                    std::shared_ptr<Clock> clock = nullptr);

    // Moves every metal one step, whatever the currency.
    QFuture<LatestPricesResponse> fetchLatest(Currency currency) override;
    // Reads the walk without moving it; the newest point is the current walk value.
    QFuture<HistoryResponse> fetchHistory(MetalSeries series, TimeRange range, Currency currency,
                                          MetalUnit unit) override;

    // The fixed rate the walk converts US dollars with, for anything that must agree with it.
    static const Decimal& fxFromUSD(Currency currency);

private:
    LatestPricesResponse latest(Currency currency);
    HistoryResponse history(MetalSeries series, TimeRange range, Currency currency,
                            MetalUnit unit) const;
    Decimal draw(double bound) const;

    std::shared_ptr<RandomSource> m_random;
    std::shared_ptr<Clock> m_clock;
    std::array<Decimal, 4> m_lastValuesUSDPerOz;
    std::array<Decimal, 4> m_prevCloseUSDPerOz;
};

}  // namespace mintlux
