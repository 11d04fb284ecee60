#pragma once

#include "market/Instant.h"
#include "market/MetalSeries.h"
#include "providers/MarketProviders.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include <QString>

namespace mintlux::server {

// The store could not be opened, migrated, read or written. what() is what the log and
// /healthz show.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything the service keeps across restarts. Decimals go in and come out exactly; instants
// keep their full resolution. Every call either completes or throws StoreError, so a backend
// for another database (PostgreSQL for a hosted deployment) is one more subclass.
class PricingStore {
public:
    // The source of the closes the recorder takes from our own quotes.
    static QString recordedCloses() { return QStringLiteral("recorded"); }

    virtual ~PricingStore() = default;

    // For /healthz and the log: a path, or a connection name without credentials.
    virtual QString location() const = 0;
    virtual int schemaVersion() const = 0;
    // A cheap round trip that throws if the database is unusable. Unlike everything else here
    // it may be called from another thread than the writer's.
    virtual void ping() = 0;

    // All writes inside `work` land together or not at all.
    virtual void inTransaction(const std::function<void()>& work) = 0;

    virtual std::optional<QString> metaValue(const QString& key) = 0;
    virtual void setMetaValue(const QString& key, const QString& value) = 0;

    // The newest quote per metal, whatever its age; replaced on every accepted poll.
    virtual void saveLatestQuote(const SpotQuote& quote) = 0;
    virtual std::vector<SpotQuote> latestQuotes() = 0;

    // The recorder's series, one quote per slot.
    virtual void recordQuote(const SpotQuote& quote) = 0;
    virtual std::vector<SpotQuote> recordedQuotes(MetalSeries metal, Instant since) = 0;
    virtual void pruneRecordedQuotes(Instant before) = 0;

    // Daily closes are kept per source: recordedCloses() for the recorder's own, else the name of
    // the upstream that published them. Upserts by day: a later close for the same day and
    // source replaces the earlier one.
    virtual void saveCloses(MetalSeries metal, const QString& source,
                            const std::vector<DailyClose>& closes) = 0;
    // Oldest first.
    virtual std::vector<DailyClose> closes(MetalSeries metal, const QString& source) = 0;
    // Every source that has closes for `metal`, in no particular order.
    virtual std::vector<QString> closeSources(MetalSeries metal) = 0;

    virtual void saveFxRates(const FxRates& rates) = 0;
    // The most recent reference day's rates.
    virtual std::optional<FxRates> latestFxRates() = 0;
};

}  // namespace mintlux::server
