#pragma once

#include "market/Currency.h"
#include "market/TimeRange.h"
#include "pricing/Clock.h"
#include "providers/MarketProviders.h"
#include "storage/PricingStore.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include <QStringList>

namespace mintlux::server {

// The service's market state: the newest quote per metal, the recorder's 5-minute series, daily
// closes and FX rates. Changes come from one thread (the poller's) and go into memory and then,
// in one transaction, into the store; reads may come from any thread.
class MarketRecorder {
public:
    static constexpr std::chrono::minutes kRecordEvery{5};
    // 1W needs seven days; the eighth covers a week that starts on a weekend.
    static constexpr std::chrono::hours kRetention{24 * 9};
    // A day's last quote counts as its close only this close to 17:00; after an outage over
    // the close the upstream's daily close is used instead of a quote from hours before.
    static constexpr std::chrono::minutes kCloseWindow{30};

    struct Point {
        Instant t;
        Decimal usdPerOunce;
    };

    // Consecutive points of a range that came from one source: "recorded quotes" (the 5-minute
    // series), "recorded closes" (our own), "newest quote", or an upstream's name.
    struct SourceRun {
        QString source;
        Instant from;
        Instant to;
        int points = 0;
    };

    MarketRecorder(PricingStore& store, std::shared_ptr<Clock> clock);

    // Loads everything from the store; throws StoreError.
    void load();

    // Takes the quotes newer than what is held; returns how many were taken. A quote that
    // starts a new trading day closes the previous one at the last quote before it.
    int applySpot(const std::vector<SpotQuote>& quotes);
    void applyFx(const FxRates& rates);
    // The daily-close upstreams in the order the poller tries them. Where several cover a day,
    // the first one's close is used, and each later one only adds the days after the newest of
    // those before it, so a source that falls behind is continued rather than interleaved.
    // Upstreams with stored closes but not in the list come last.
    void setUpstreamOrder(const QStringList& upstreams);
    void applyDailyCloses(MetalSeries metal, const QString& upstream,
                          const std::vector<DailyClose>& closes);

    std::optional<SpotQuote> latest(MetalSeries metal) const;
    // The close of the trading day before the one the newest quote belongs to: our recorded
    // close where we have one, else the upstream's daily close.
    std::optional<Decimal> previousClose(MetalSeries metal) const;
    // Units of `currency` per US dollar: 1 for the dollar, the peg for the dirham, else the
    // newest reference rate (carried forward over days without one).
    std::optional<Decimal> perUsd(Currency currency) const;
    std::optional<QDate> fxDate() const;
    bool hasUpstreamCloses(MetalSeries metal) const;
    bool hasRecordedQuotes() const;

    // US dollars per troy ounce over the range, oldest first, ending at the newest quote.
    std::vector<Point> history(MetalSeries metal, TimeRange range) const;
    // Where history(metal, range) comes from, without building its points.
    std::vector<SourceRun> historySources(MetalSeries metal, TimeRange range) const;

    // Changes whenever anything served could have changed.
    std::uint64_t generation() const { return m_generation.load(); }
    // Empty while the last write went through.
    QString storeError() const;

    // The dirham's fixed peg to the dollar; the upstream rate is never used for it.
    static const Decimal& aedPerUsd();

private:
    // What a point of history was taken from: an index into m_sourceNames. Upstreams follow
    // the recorder's own sources.
    using Source = std::uint16_t;
    static constexpr Source kOwnQuotes = 0;
    static constexpr Source kOwnCloses = 1;
    static constexpr Source kNewestQuote = 2;

    struct MetalState {
        std::optional<SpotQuote> latest;
        std::deque<SpotQuote> recorded;
        std::map<QString, std::map<QDate, Decimal>> upstreamCloses;  // by upstream
        std::map<QDate, Decimal> recordedCloses;
        // upstreamCloses layered as setUpstreamOrder() says.
        std::map<QDate, std::pair<Decimal, Source>> upstreamSeries;
    };

    void write(const std::function<void()>& work);
    // Takes a range's points, oldest first; a close's instant is worked out only if wanted.
    struct Sink {
        virtual void quote(Instant t, const Decimal& usdPerOunce, Source source) = 0;
        virtual void close(QDate day, const Decimal& usdPerOunce, Source source) = 0;

    protected:
        ~Sink() = default;
    };
    void walk(const MetalState& s, TimeRange range, Sink& sink) const;
    void layer(MetalState& s);
    Source sourceOf(const QString& upstream);
    MetalState& state(MetalSeries metal) { return m_metals[metal.index()]; }
    const MetalState& state(MetalSeries metal) const { return m_metals[metal.index()]; }

    PricingStore& m_store;
    std::shared_ptr<Clock> m_clock;
    std::array<MetalState, 4> m_metals;
    std::unordered_map<Currency, Decimal> m_rates;
    std::optional<QDate> m_fxDate;
    QStringList m_upstreamOrder;
    std::vector<QString> m_sourceNames;  // indexed by Source; only grows
    std::atomic<std::uint64_t> m_generation = 0;
    mutable std::mutex m_lock;  // guards everything above and the store error
    QString m_storeError;
};

}  // namespace mintlux::server
