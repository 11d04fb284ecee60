#pragma once

#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/PricePoint.h"
#include "market/TimeRange.h"
#include "pricing/Clock.h"
#include "pricing/PricingService.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include <QFuture>
#include <QObject>

namespace mintlux {

// The chart's history cache: one entry per (series, range, currency, unit), served while it is
// younger than the time-to-live, so flipping between ranges and units spares the back-end.
class ChartingDataSource final : public QObject {
public:
    using Service = PricingService<MetalSeries, MetalUnit>;

    ChartingDataSource(std::shared_ptr<Service> service, double cacheTTL,
                       std::shared_ptr<Clock> clock = nullptr);

    // A failed request leaves the cache as it was (an expired entry stays, unserved).
    // Overlapping requests for one key are not merged; the last answer to land stays.
    QFuture<std::vector<MetalPricePoint>> points(MetalSeries series, TimeRange range,
                                                 Currency currency, MetalUnit unit);
    // The same, saying which back-end answered. A fallback's answer is not cached: the next look
    // asks the primary again.
    QFuture<Service::SourcedHistory> sourcedPoints(MetalSeries series, TimeRange range,
                                                   Currency currency, MetalUnit unit);
    void invalidate() { m_cache.clear(); }

private:
    struct CacheKey {
        MetalSeries series;
        TimeRange range;
        Currency currency;
        MetalUnit unit;
        friend bool operator==(const CacheKey&, const CacheKey&) = default;
    };
    struct CacheKeyHash {
        std::size_t operator()(const CacheKey& key) const noexcept;
    };
    struct CacheEntry {
        Instant fetchedAt;
        std::vector<MetalPricePoint> points;
    };

    bool isFresh(const CacheEntry& entry) const;

    std::shared_ptr<Service> m_service;
    double m_cacheTTL;
    std::shared_ptr<Clock> m_clock;
    std::unordered_map<CacheKey, CacheEntry, CacheKeyHash> m_cache;
};

}  // namespace mintlux
