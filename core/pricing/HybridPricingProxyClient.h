#pragma once

#include "pricing/PricingProxyClient.h"

#include <memory>
#include <unordered_map>

namespace mintlux {

// A primary back-end that serves everything, and a fallback that answers history only when the
// primary fails it; the two are asked one after the other, never at once.
class HybridPricingProxyClient final : public PricingProxyClient {
public:
    HybridPricingProxyClient(std::shared_ptr<PricingProxyClient> primary,
                             std::shared_ptr<PricingProxyClient> historyFallback);

    // The primary's answer or error, untouched; the fallback is never asked. The last answer in
    // each currency is kept to anchor the fallback's history.
    QFuture<LatestPricesResponse> fetchLatest(Currency currency) override;
    // The primary's answer; else the fallback's answer; else the fallback's error (the primary's
    // error is dropped). The fallback's points are scaled to end at the primary's last price for
    // that metal and currency, when one has arrived: invented history must not contradict the
    // price shown beside it.
    QFuture<HistoryResponse> fetchHistory(MetalSeries series, TimeRange range, Currency currency,
                                          MetalUnit unit) override;
    // The same answers, saying whether the fallback gave them and why the primary did not.
    QFuture<SourcedHistory> fetchSourcedHistory(MetalSeries series, TimeRange range,
                                                Currency currency, MetalUnit unit) override;
    QString address() const override { return m_primary->address(); }

private:
    // Leaves the points as they are when there is no usable price to end at.
    HistoryResponse anchored(HistoryResponse response, MetalSeries series, Currency currency,
                             MetalUnit unit) const;

    std::shared_ptr<PricingProxyClient> m_primary;
    std::shared_ptr<PricingProxyClient> m_historyFallback;
    std::unordered_map<Currency, LatestPricesResponse> m_lastLatest;
};

}  // namespace mintlux
