#pragma once

#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/TimeRange.h"
#include "pricing/HistoryResponse.h"
#include "pricing/LatestPricesResponse.h"

#include <QFuture>
#include <QObject>

namespace mintlux {

// A source of prices. Both operations answer through the future only, never by throwing: a
// failure is the future's exception, and that exception object travels unchanged through
// every layer above. Implementations live on the GUI thread and never block it; a caller may
// drop a future at any time.
class PricingProxyClient : public QObject {
public:
    using QObject::QObject;

    virtual QFuture<LatestPricesResponse> fetchLatest(Currency currency) = 0;
    virtual QFuture<HistoryResponse> fetchHistory(MetalSeries series, TimeRange range,
                                                  Currency currency, MetalUnit unit) = 0;
};

}  // namespace mintlux
