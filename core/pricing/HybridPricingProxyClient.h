#pragma once

#include "pricing/PricingProxyClient.h"

#include <memory>

namespace mintlux {

// A primary back-end that serves everything, and a fallback that answers history only when the
// primary fails it; the two are asked one after the other, never at once.
class HybridPricingProxyClient final : public PricingProxyClient {
public:
    HybridPricingProxyClient(std::shared_ptr<PricingProxyClient> primary,
                             std::shared_ptr<PricingProxyClient> historyFallback);

    // The primary's answer or error, untouched; the fallback is never asked.
    QFuture<LatestPricesResponse> fetchLatest(Currency currency) override;
    // The primary's answer; else the fallback's answer; else the fallback's error (the primary's
    // error is dropped).
    QFuture<HistoryResponse> fetchHistory(MetalSeries series, TimeRange range, Currency currency,
                                          MetalUnit unit) override;
    // The same answers, saying whether the fallback gave them and why the primary did not.
    QFuture<SourcedHistory> fetchSourcedHistory(MetalSeries series, TimeRange range,
                                                Currency currency, MetalUnit unit) override;
    QString address() const override { return m_primary->address(); }

private:
    std::shared_ptr<PricingProxyClient> m_primary;
    std::shared_ptr<PricingProxyClient> m_historyFallback;
};

}  // namespace mintlux
