#pragma once

#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/TimeRange.h"
#include "pricing/Futures.h"
#include "pricing/HistoryOrigin.h"
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

    struct SourcedHistory {
        HistoryResponse response;
        HistoryOrigin origin;
    };

    virtual QFuture<LatestPricesResponse> fetchLatest(Currency currency) = 0;
    virtual QFuture<HistoryResponse> fetchHistory(MetalSeries series, TimeRange range,
                                                  Currency currency, MetalUnit unit) = 0;

    // fetchHistory's answer with the back-end that gave it; a single back-end is its own primary.
    virtual QFuture<SourcedHistory> fetchSourcedHistory(MetalSeries series, TimeRange range,
                                                        Currency currency, MetalUnit unit) {
        auto promise = Futures::startedPromise<SourcedHistory>();
        Futures::whenFinished(
            fetchHistory(series, range, currency, unit), this,
            [promise](HistoryResponse response) {
                Futures::fulfil(*promise, SourcedHistory{std::move(response), {}});
            },
            [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
        return promise->future();
    }

    // Where the back-end lives, as "host:port", for messages a user can act on; empty when it
    // has no address.
    virtual QString address() const { return {}; }
};

}  // namespace mintlux
