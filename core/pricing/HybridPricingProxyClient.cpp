#include "pricing/HybridPricingProxyClient.h"

#include "pricing/Futures.h"

namespace mintlux {

HybridPricingProxyClient::HybridPricingProxyClient(
    std::shared_ptr<PricingProxyClient> primary,
    std::shared_ptr<PricingProxyClient> historyFallback)
    : m_primary(std::move(primary)), m_historyFallback(std::move(historyFallback)) {}

QFuture<LatestPricesResponse> HybridPricingProxyClient::fetchLatest(Currency currency) {
    return m_primary->fetchLatest(currency);
}

QFuture<HistoryResponse> HybridPricingProxyClient::fetchHistory(MetalSeries series, TimeRange range,
                                                                Currency currency, MetalUnit unit) {
    auto promise = Futures::startedPromise<HistoryResponse>();
    Futures::whenFinished(
        m_primary->fetchHistory(series, range, currency, unit), this,
        [promise](HistoryResponse response) { Futures::fulfil(*promise, std::move(response)); },
        [this, promise, series, range, currency, unit](std::exception_ptr) {
            Futures::forward(m_historyFallback->fetchHistory(series, range, currency, unit), this,
                             promise);
        });
    return promise->future();
}

QFuture<PricingProxyClient::SourcedHistory> HybridPricingProxyClient::fetchSourcedHistory(
    MetalSeries series, TimeRange range, Currency currency, MetalUnit unit) {
    auto promise = Futures::startedPromise<SourcedHistory>();
    Futures::whenFinished(
        m_primary->fetchHistory(series, range, currency, unit), this,
        [promise](HistoryResponse response) {
            Futures::fulfil(*promise, SourcedHistory{std::move(response), {}});
        },
        [this, promise, series, range, currency, unit](std::exception_ptr primaryFailure) {
            Futures::whenFinished(
                m_historyFallback->fetchHistory(series, range, currency, unit), this,
                [this, promise, primaryFailure](HistoryResponse response) {
                    Futures::fulfil(*promise,
                                    SourcedHistory{std::move(response),
                                                   {true, primaryFailure, m_primary->address()}});
                },
                [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
        });
    return promise->future();
}

}  // namespace mintlux
