#pragma once

#include "ProviderHealth.h"
#include "market/MarketRecorder.h"
#include "market/MetalUnit.h"
#include "pricing/Clock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include <QByteArray>

namespace mintlux::server {

// The two API documents, encoded once per change of the market state and served from memory.
// Safe to use from several serving threads.
class PriceDocuments {
public:
    // A document is stale once any quote in it is older than this: the upstreams are polled
    // every 45 s, so ten minutes means a dozen polls in a row brought nothing new.
    static constexpr std::chrono::minutes kStaleAfter{10};
    // Beyond this the history cache starts over rather than grow.
    static constexpr qsizetype kMaxCachedHistoryBytes = 32 * 1024 * 1024;

    // Bodies from this size up are also kept gzip-compressed.
    static constexpr qsizetype kGzipFrom = 256;

    struct Body {
        int status = 200;
        QByteArray json;
        // Set for documents, not for errors: what HTTP caches need, made once per version.
        QByteArray etag{};
        QByteArray gzip{};  // empty when the body is small or does not shrink
        QByteArray gzipEtag{};
        int maxAge = -1;  // seconds a cache may serve it without asking; -1: not cacheable
    };

    PriceDocuments(const MarketRecorder& recorder, std::shared_ptr<Clock> clock);

    // Where the upstreams' latest failures come from, so that an error document can say why
    // nothing has arrived; called from the serving threads.
    void setUpstreamHealth(std::function<std::vector<ProviderHealth>()> health);

    // When the upstream data may next change (`nextChange`, called from the serving threads; a
    // past instant while a refresh is under way) and the longest a document may be cached.
    // Without it, documents carry max-age 0: cached, but always revalidated.
    void setRefreshSchedule(std::function<Instant()> nextChange, std::chrono::seconds longest);

    // 503 with an error body while nothing has been quoted yet or the currency has no rate,
    // naming the failing upstreams of that kind and their causes.
    Body prices(Currency currency);
    Body history(MetalSeries series, TimeRange range, Currency currency, MetalUnit unit);

    static QByteArray errorJson(std::string_view message);
    // A document's body with its validators and compressed form.
    static Body document(QByteArray json);
    // `message`, then "(name: cause; ...)" for each failing upstream of `kind`, within what the
    // app shows unabridged; control characters dropped, long names and causes shortened.
    static QString withCauses(const QString& message, const std::vector<ProviderHealth>& upstreams,
                              const QString& kind);

private:
    enum class Missing { nothing, rate, quotes };
    struct PricesEntry {
        std::uint64_t generation = 0;
        Missing missing = Missing::nothing;
        Instant staleAt;
        Body fresh;
        Body stale;
    };
    struct HistoryEntry {
        std::uint64_t generation = 0;
        Body body;
    };
    using HistoryKey = std::tuple<std::size_t, std::size_t, std::size_t, std::size_t>;

    void buildPrices(Currency currency, PricesEntry& entry) const;
    // `body` with the seconds until the next refresh or `changesAt`, whichever comes first.
    Body served(Body body, Instant changesAt) const;
    // Built per request: the causes change without the market state changing.
    Body missing(Missing what, Currency currency) const;

    const MarketRecorder& m_recorder;
    std::shared_ptr<Clock> m_clock;
    std::function<std::vector<ProviderHealth>()> m_upstreamHealth;
    std::function<Instant()> m_nextChange;
    std::chrono::seconds m_longestMaxAge{0};
    std::map<std::size_t, PricesEntry> m_prices;
    std::map<HistoryKey, HistoryEntry> m_history;
    qsizetype m_historyBytes = 0;
    std::mutex m_lock;  // guards the caches
};

}  // namespace mintlux::server
