#include "pricing/ChartingDataSource.h"

#include "pricing/Futures.h"

#include <QHashFunctions>

namespace mintlux {

ChartingDataSource::ChartingDataSource(std::shared_ptr<Service> service, double cacheTTL,
                                       std::shared_ptr<Clock> clock)
    : m_service(std::move(service)),
      m_cacheTTL(cacheTTL),
      m_clock(clock ? std::move(clock) : Clock::system()) {}

std::size_t ChartingDataSource::CacheKeyHash::operator()(const CacheKey& key) const noexcept {
    return qHashMulti(0, key.series.rawValue(), key.range.rawValue(), key.currency.rawValue(),
                      key.unit.rawValue());
}

bool ChartingDataSource::isFresh(const CacheEntry& entry) const {
    const std::chrono::duration<double> age = m_clock->now() - entry.fetchedAt;
    // An entry stamped in the future means the wall clock was set back; its age is unknown,
    // so it is not trusted.
    return age.count() >= 0 && age.count() < m_cacheTTL;
}

QFuture<std::vector<MetalPricePoint>> ChartingDataSource::points(MetalSeries series,
                                                                 TimeRange range, Currency currency,
                                                                 MetalUnit unit) {
    if (const auto it = m_cache.find({series, range, currency, unit});
        it != m_cache.end() && isFresh(it->second)) {
        return Futures::ready(it->second.points);
    }
    auto promise = Futures::startedPromise<std::vector<MetalPricePoint>>();
    Futures::whenFinished(
        sourcedPoints(series, range, currency, unit), this,
        [promise](Service::SourcedHistory history) {
            Futures::fulfil(*promise, std::move(history.points));
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

QFuture<ChartingDataSource::Service::SourcedHistory> ChartingDataSource::sourcedPoints(
    MetalSeries series, TimeRange range, Currency currency, MetalUnit unit) {
    const CacheKey key{series, range, currency, unit};
    if (const auto it = m_cache.find(key); it != m_cache.end() && isFresh(it->second)) {
        return Futures::ready(Service::SourcedHistory{it->second.points, {}});
    }
    auto promise = Futures::startedPromise<Service::SourcedHistory>();
    Futures::whenFinished(
        m_service->sourcedHistory(series, range, currency, unit), this,
        [this, promise, key](Service::SourcedHistory history) {
            if (!history.origin.fromFallback) {
                m_cache.insert_or_assign(key, CacheEntry{m_clock->now(), history.points});
            }
            Futures::fulfil(*promise, std::move(history));
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

}  // namespace mintlux
