#include "PriceDocuments.h"

#include "market/UnitConversion.h"
#include "net/Gzip.h"
#include "pricing/HistoryResponse.h"
#include "pricing/LatestPricesResponse.h"
#include "pricing/ServiceError.h"

#include <algorithm>

#include <QCryptographicHash>

namespace mintlux::server {

namespace {
// Clients commonly read no more than six fractional digits, and some need at least one.
constexpr auto kDates = JsonWriter::Dates::milliseconds;
// An upstream's text is only partly ours (a media type, a name from configuration): kept to one
// short, printable run.
constexpr qsizetype kMaxNameLength = 24;
constexpr qsizetype kMaxCauseLength = 48;

QString clipped(const QString& text, qsizetype limit) {
    QString out;
    for (const QChar c : text.simplified()) {
        if (!c.isPrint()) {
            continue;
        }
        if (out.size() == limit) {
            out.back() = QChar(0x2026);
            break;
        }
        out += c;
    }
    return out;
}

std::string rateMessage(Currency currency) {
    return "no exchange rate for " + currency.rawValue().toStdString() + " yet";
}

}  // namespace

PriceDocuments::PriceDocuments(const MarketRecorder& recorder, std::shared_ptr<Clock> clock)
    : m_recorder(recorder), m_clock(std::move(clock)) {}

void PriceDocuments::setUpstreamHealth(std::function<std::vector<ProviderHealth>()> health) {
    m_upstreamHealth = std::move(health);
}

QString PriceDocuments::withCauses(const QString& message,
                                   const std::vector<ProviderHealth>& upstreams,
                                   const QString& kind) {
    const qsizetype limit = ServiceError::kMaxMessageLength;
    QStringList parts;
    bool any = false;
    for (const ProviderHealth& h : upstreams) {
        if (h.kind != kind) {
            continue;
        }
        any = true;
        if (h.consecutiveFailures > 0) {
            parts << clipped(h.name, kMaxNameLength) + QStringLiteral(": ") +
                         clipped(h.lastCause, kMaxCauseLength);
        }
    }
    if (!any) {
        return message + QStringLiteral(" (no ") + kind + QStringLiteral(" upstream configured)");
    }
    QString out = message;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString more =
            QStringLiteral("; +") + QString::number(parts.size() - i) + QStringLiteral(" more)");
        const QString part = (i == 0 ? QStringLiteral(" (") : QStringLiteral("; ")) + parts[i];
        // Room for the closing parenthesis, or for saying how many did not fit.
        const qsizetype tail = i + 1 == parts.size() ? 1 : more.size();
        if (out.size() + part.size() + tail > limit) {
            return i == 0 ? out : out + more;
        }
        out += part;
    }
    return parts.isEmpty() ? out : out + u')';
}

PriceDocuments::Body PriceDocuments::missing(Missing what, Currency currency) const {
    const QString message = what == Missing::rate ? QString::fromStdString(rateMessage(currency))
                                                  : QStringLiteral("no prices recorded yet");
    const QString kind = what == Missing::rate ? QStringLiteral("fx") : QStringLiteral("spot");
    const QString text = m_upstreamHealth ? withCauses(message, m_upstreamHealth(), kind) : message;
    return {503, errorJson(text.toStdString())};
}

void PriceDocuments::setRefreshSchedule(std::function<Instant()> nextChange,
                                        std::chrono::seconds longest) {
    m_nextChange = std::move(nextChange);
    m_longestMaxAge = longest;
}

PriceDocuments::Body PriceDocuments::document(QByteArray json) {
    Body body{200, std::move(json)};
    // From the bytes alone, so that every replica and every restart tags a document alike.
    const QByteArray hash =
        QCryptographicHash::hash(body.json, QCryptographicHash::Sha1).left(12).toHex();
    body.etag = '"' + hash + '"';
    if (body.json.size() >= kGzipFrom) {
        QByteArray packed = Gzip::compress(body.json);
        if (packed.size() < body.json.size()) {
            body.gzip = std::move(packed);
            body.gzipEtag = '"' + hash + "-gzip\"";
        }
    }
    return body;
}

PriceDocuments::Body PriceDocuments::served(Body body, Instant changesAt) const {
    using std::chrono::seconds;
    if (!m_nextChange) {
        body.maxAge = 0;
        return body;
    }
    const Instant now = m_clock->now();
    const Instant next = std::min({m_nextChange(), changesAt, now + m_longestMaxAge});
    const auto left = std::chrono::ceil<seconds>(next - now);
    // At least a second, also while a refresh is under way: a cache in front then asks once a
    // second instead of passing every request on.
    body.maxAge = static_cast<int>(std::clamp(left, seconds(1), m_longestMaxAge).count());
    return body;
}

QByteArray PriceDocuments::errorJson(std::string_view message) {
    JsonWriter w;
    w.beginObject().key("error").string(message).endObject();
    return w.take();
}

void PriceDocuments::buildPrices(Currency currency, PricesEntry& entry) const {
    entry.generation = m_recorder.generation();
    entry.missing = Missing::nothing;
    const auto fx = m_recorder.perUsd(currency);
    if (!fx) {
        entry.missing = Missing::rate;
        entry.fresh = entry.stale = {503, errorJson(rateMessage(currency))};
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
        entry.missing = Missing::quotes;
        entry.fresh = entry.stale = {503, errorJson("no prices recorded yet")};
        entry.staleAt = Instant::max();
        return;
    }
    doc.asOf = *newest;
    // One old metal is enough: its price is served as it was last quoted.
    entry.staleAt = *oldest + kStaleAfter;
    doc.stale = false;
    entry.fresh = document(doc.toJson(kDates));
    doc.stale = true;
    entry.stale = document(doc.toJson(kDates));
}

PriceDocuments::Body PriceDocuments::prices(Currency currency) {
    Missing missingNow;
    {
        const std::lock_guard lock(m_lock);
        PricesEntry& entry = m_prices[currency.index()];
        if (entry.generation != m_recorder.generation() || entry.fresh.json.isEmpty()) {
            buildPrices(currency, entry);
        }
        if (entry.missing == Missing::nothing) {
            return m_clock->now() >= entry.staleAt ? served(entry.stale, Instant::max())
                                                   : served(entry.fresh, entry.staleAt);
        }
        missingNow = entry.missing;
    }
    return missing(missingNow, currency);
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
            return served(it->second.body, Instant::max());
        }
    }
    const auto fx = m_recorder.perUsd(currency);
    if (!fx) {
        return missing(Missing::rate, currency);
    }
    // Built outside the lock so a long history does not hold up the other worker's requests.
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
    Body body = document(doc.toJson(kDates));
    const auto bytes = [](const Body& b) { return b.json.size() + b.gzip.size(); };
    const std::lock_guard lock(m_lock);
    if (m_historyBytes + bytes(body) > kMaxCachedHistoryBytes) {
        m_history.clear();
        m_historyBytes = 0;
    }
    HistoryEntry& slot = m_history[key];
    m_historyBytes += bytes(body) - bytes(slot.body);
    slot = {generation, body};
    return served(std::move(body), Instant::max());
}

}  // namespace mintlux::server
