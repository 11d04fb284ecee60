#pragma once

#include "market/Currency.h"
#include "market/PricePoint.h"
#include "market/PriceTick.h"
#include "market/PricingConcepts.h"
#include "market/TimeRange.h"
#include "pricing/FeedHealth.h"
#include "pricing/HistoryOrigin.h"
#include "pricing/LiveStream.h"

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QFuture>
#include <QObject>

namespace mintlux {

// What the user interface sees of the pricing engine.
template <PricingSeries Series, PricingUnit Unit>
class PricingService {
public:
    using Tick = PriceTick<Series, Unit>;
    // The latest tick of every priced series in one currency; an unpriced series is absent.
    using Snapshot = std::unordered_map<Series, Tick>;
    using SnapshotStream = LiveStream<Snapshot>;
    using Point = PricePoint<Unit>;
    struct SourcedHistory {
        std::vector<Point> points;
        HistoryOrigin origin;
    };

    virtual ~PricingService() = default;

    // The cached snapshot of that currency, empty if there is none; never fails.
    virtual QFuture<Snapshot> latest(Currency currency) = 0;
    // Every new snapshot of that currency, starting with the cached one if there is one.
    virtual std::unique_ptr<SnapshotStream> live(Currency currency) = 0;
    virtual QFuture<std::vector<Point>> history(Series series, TimeRange range, Currency currency,
                                                Unit unit) = 0;
    // The same history, saying which back-end answered.
    virtual QFuture<SourcedHistory> sourcedHistory(Series series, TimeRange range,
                                                   Currency currency, Unit unit) = 0;

    // Seconds between two polls.
    virtual double refreshInterval() const = 0;
    virtual FeedHealth health(Currency currency) const = 0;
    // `onChange` runs after every refresh that lands or fails, with its currency, until
    // `context` is destroyed.
    virtual void observeHealth(QObject* context, std::function<void(Currency)> onChange) = 0;
};

}  // namespace mintlux
