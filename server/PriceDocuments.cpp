#include "PriceDocuments.h"

#include "market/UnitConversion.h"
#include "pricing/HistoryResponse.h"
#include "pricing/LatestPricesResponse.h"

namespace mintlux::server {

namespace {
// Clients commonly read no more than six fractional digits, and some need at least one.
constexpr auto kDates = JsonWriter::Dates::milliseconds;
}  // namespace

PriceDocuments::PriceDocuments(const MarketRecorder& recorder, std::shared_ptr<Clock> clock)
    : m_recorder(recorder), m_clock(std::move(clock)) {}

QByteArray PriceDocuments::errorJson(std::string_view message) {
    JsonWriter w;
    w.beginObject().key("error").string(message).endObject();
    return w.take();
}

void PriceDocuments::buildPrices(Currency currency, PricesEntry& entry) const {
    entry.generation = m_recorder.generation();
    const auto fx = m_recorder.perUsd(currency);
    if (!fx) {
        entry.fresh = entry.stale = {
            503, errorJson("no exchange rate for " + currency.rawValue().toStdString() + " yet")};
        entry.staleAt = Instant::max();
        return;
    }
    LatestPricesResponse doc;
    doc.currency = currency.rawValue();
    std::optional<Instant> newest;
    std::optional<Instant> oldest;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        const auto quote = m_recorder.latest(metal);
        if (!quote) {
            continue;
        }
        LatestPricesResponse::PriceEntry price;
        price.value = quote->usdPerOunce * *fx;
        if (const auto close = m_recorder.previousClose(metal)) {
            price.prevClose = *close * *fx;
        }
        price.unit = MetalUnit(MetalUnit::troyOunce).rawValue();
        doc.prices.emplace(metal.rawValue(), std::move(price));
        newest = newest ? std::max(*newest, quote->asOf) : quote->asOf;
        oldest = oldest ? std::min(*oldest, quote->asOf) : quote->asOf;
    }
    if (!newest) {
        entry.fresh = entry.stale = {503, errorJson("no prices recorded yet")};
        entry.staleAt = Instant::max();
        return;
    }
    doc.asOf = *newest;
    // One old metal is enough: its price is served as it was last quoted.
    entry.staleAt = *oldest + kStaleAfter;
    doc.stale = false;
    entry.fresh = {200, doc.toJson(kDates)};
    doc.stale = true;
    entry.stale = {200, doc.toJson(kDates)};
}

PriceDocuments::Body PriceDocuments::prices(Currency currency) {
    const std::lock_guard lock(m_lock);
    PricesEntry& entry = m_prices[currency.index()];
    if (entry.generation != m_recorder.generation() || entry.fresh.json.isEmpty()) {
        buildPrices(currency, entry);
    }
    return m_clock->now() >= entry.staleAt ? entry.stale : entry.fresh;
}

PriceDocuments::Body PriceDocuments::history(MetalSeries series, TimeRange range, Currency currency,
                                             MetalUnit unit) {
    const HistoryKey key{series.index(), range.index(), currency.index(), unit.index()};
    // Read before building: a change landing meanwhile then makes this entry outdated at once
    // instead of passing the old points off as the new generation's.
    const std::uint64_t generation = m_recorder.generation();
    {
        const std::lock_guard lock(m_lock);
        if (const auto it = m_history.find(key);
            it != m_history.end() && it->second.generation == generation) {
            return it->second.body;
        }
    }
    // Built outside the lock so a long history does not hold up the other worker's requests.
    Body body;
    if (const auto fx = m_recorder.perUsd(currency)) {
        HistoryResponse doc;
        doc.series = series.rawValue();
        doc.currency = currency.rawValue();
        doc.unit = unit.rawValue();
        doc.range = range.rawValue();
        const auto points = m_recorder.history(series, range);
        doc.points.reserve(points.size());
        for (const MarketRecorder::Point& p : points) {
            const Decimal perUnit =
                UnitConversion::convertPrice(p.usdPerOunce, MetalUnit::troyOunce, unit);
            doc.points.push_back({p.t, perUnit * *fx});
        }
        body.json = doc.toJson(kDates);
    } else {
        body = {503,
                errorJson("no exchange rate for " + currency.rawValue().toStdString() + " yet")};
    }
    const std::lock_guard lock(m_lock);
    if (m_historyBytes + body.json.size() > kMaxCachedHistoryBytes) {
        m_history.clear();
        m_historyBytes = 0;
    }
    HistoryEntry& slot = m_history[key];
    m_historyBytes += body.json.size() - slot.body.json.size();
    slot = {generation, body};
    return body;
}

}  // namespace mintlux::server
