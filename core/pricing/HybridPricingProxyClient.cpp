#include "pricing/HybridPricingProxyClient.h"

#include "market/UnitConversion.h"
#include "pricing/Futures.h"

namespace mintlux {

HybridPricingProxyClient::HybridPricingProxyClient(
    std::shared_ptr<PricingProxyClient> primary,
    std::shared_ptr<PricingProxyClient> historyFallback)
    : m_primary(std::move(primary)), m_historyFallback(std::move(historyFallback)) {}

QFuture<LatestPricesResponse> HybridPricingProxyClient::fetchLatest(Currency currency) {
    auto promise = Futures::startedPromise<LatestPricesResponse>();
    Futures::whenFinished(
        m_primary->fetchLatest(currency), this,
        [this, promise, currency](LatestPricesResponse response) {
            // Filed under the currency the prices are in, which a faulty back-end may not have
            // matched to the request.
            const Currency in =
                Currency::fromRawValue(QStringView(response.currency)).value_or(currency);
            m_lastLatest.insert_or_assign(in, response);
            Futures::fulfil(*promise, std::move(response));
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

HistoryResponse HybridPricingProxyClient::anchored(HistoryResponse response, MetalSeries series,
                                                   Currency currency, MetalUnit unit) const {
    const auto latest = m_lastLatest.find(currency);
    if (latest == m_lastLatest.end() || response.points.empty()) {
        return response;
    }
    const auto entry = latest->second.prices.find(series.rawValue());
    if (entry == latest->second.prices.end()) {
        return response;
    }
    // Read the way the price display reads it, so the two agree to the last digit.
    const MetalUnit priceUnit =
        MetalUnit::fromRawValue(QStringView(entry->second.unit)).value_or(MetalUnit::troyOunce);
    const Decimal target = UnitConversion::convertPrice(entry->second.value, priceUnit, unit);
    const Decimal last = response.points.back().v;
    if (target.signum() <= 0 || last.signum() <= 0) {
        return response;
    }
    // Scaling keeps every step's relative move, so the walk stays as plausible as it was, and
    // positive.
    const Decimal factor = target / last;
    for (HistoryResponse::HistoryPoint& point : response.points) {
        point.v = point.v * factor;
    }
    response.points.back().v = target;
    return response;
}

QFuture<HistoryResponse> HybridPricingProxyClient::fetchHistory(MetalSeries series, TimeRange range,
                                                                Currency currency, MetalUnit unit) {
    auto promise = Futures::startedPromise<HistoryResponse>();
    Futures::whenFinished(
        fetchSourcedHistory(series, range, currency, unit), this,
        [promise](SourcedHistory answer) { Futures::fulfil(*promise, std::move(answer.response)); },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
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
                [this, promise, primaryFailure, series, currency, unit](HistoryResponse response) {
                    try {
                        response = anchored(std::move(response), series, currency, unit);
                    } catch (...) {
                        Futures::fail(*promise, std::current_exception());
                        return;
                    }
                    Futures::fulfil(*promise,
                                    SourcedHistory{std::move(response),
                                                   {true, primaryFailure, m_primary->address()}});
                },
                [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
        });
    return promise->future();
}

}  // namespace mintlux
