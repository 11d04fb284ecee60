#pragma once

#include "market/Currency.h"
#include "market/PricePoint.h"
#include "market/PriceTick.h"
#include "market/PricingConcepts.h"
#include "market/TimeRange.h"
#include "pricing/LiveStream.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include <QFuture>

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

    virtual ~PricingService() = default;

    // The cached snapshot of that currency, empty if there is none; never fails.
    virtual QFuture<Snapshot> latest(Currency currency) = 0;
    // Every new snapshot of that currency, starting with the cached one if there is one.
    virtual std::unique_ptr<SnapshotStream> live(Currency currency) = 0;
    virtual QFuture<std::vector<Point>> history(Series series, TimeRange range, Currency currency,
                                                Unit unit) = 0;
};

}  // namespace mintlux
