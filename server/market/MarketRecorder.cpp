#include "market/MarketRecorder.h"

#include "ServiceLog.h"
#include "market/TradingCalendar.h"

#include <algorithm>
#include <variant>

namespace mintlux::server {

namespace {

using namespace std::chrono_literals;

std::int64_t slotOf(Instant t, std::chrono::seconds slot) {
    const auto s = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch());
    return s.count() / slot.count() - (s.count() % slot.count() < 0 ? 1 : 0);
}

}  // namespace

const Decimal& MarketRecorder::aedPerUsd() {
    static const Decimal peg = *Decimal::parse("3.6725");
    return peg;
}

MarketRecorder::MarketRecorder(PricingStore& store, std::shared_ptr<Clock> clock)
    : m_store(store),
      m_clock(std::move(clock)),
      m_sourceNames{QStringLiteral("recorded quotes"), QStringLiteral("recorded closes"),
                    QStringLiteral("newest quote")} {}

MarketRecorder::Source MarketRecorder::sourceOf(const QString& upstream) {
    const auto it =
        std::find(m_sourceNames.begin() + kNewestQuote + 1, m_sourceNames.end(), upstream);
    if (it != m_sourceNames.end()) {
        return static_cast<Source>(it - m_sourceNames.begin());
    }
    m_sourceNames.push_back(upstream);
    return static_cast<Source>(m_sourceNames.size() - 1);
}

void MarketRecorder::layer(MetalState& s) {
    std::vector<QString> order;
    for (const QString& name : m_upstreamOrder) {
        if (s.upstreamCloses.contains(name)) {
            order.push_back(name);
        }
    }
    for (const auto& entry : s.upstreamCloses) {
        if (!m_upstreamOrder.contains(entry.first)) {
            order.push_back(entry.first);
        }
    }
    s.upstreamSeries.clear();
    QDate newest;
    for (const QString& name : order) {
        const std::map<QDate, Decimal>& closes = s.upstreamCloses.at(name);
        const Source source = sourceOf(name);
        for (auto it = closes.upper_bound(newest); it != closes.end(); ++it) {
            s.upstreamSeries.emplace_hint(s.upstreamSeries.end(), it->first,
                                          std::pair(it->second, source));
        }
        if (!closes.empty()) {
            newest = std::max(newest, closes.rbegin()->first);
        }
    }
}

void MarketRecorder::setUpstreamOrder(const QStringList& upstreams) {
    const std::lock_guard lock(m_lock);
    m_upstreamOrder = upstreams;
    for (MetalState& s : m_metals) {
        layer(s);
    }
    ++m_generation;
}

void MarketRecorder::write(const std::function<void()>& work) {
    try {
        m_store.inTransaction(work);
        const std::lock_guard lock(m_lock);
        m_storeError.clear();
    } catch (const std::exception& e) {
        // Memory still moves on, so clients see the new quote; the log and /healthz say the
        // store is behind.
        const QString error = QString::fromUtf8(e.what());
        logLine(QStringLiteral("store write failed: ") + error);
        const std::lock_guard lock(m_lock);
        m_storeError = error;
    }
}

QString MarketRecorder::storeError() const {
    const std::lock_guard lock(m_lock);
    return m_storeError;
}

std::optional<QDate> MarketRecorder::fxDate() const {
    const std::lock_guard lock(m_lock);
    return m_fxDate;
}

void MarketRecorder::load() {
    const std::lock_guard lock(m_lock);
    const Instant since = m_clock->now() - kRetention;
    for (const SpotQuote& q : m_store.latestQuotes()) {
        state(q.metal).latest = q;
    }
    for (const MetalSeries metal : MetalSeries::allCases()) {
        MetalState& s = state(metal);
        const auto recorded = m_store.recordedQuotes(metal, since);
        s.recorded.assign(recorded.begin(), recorded.end());
        for (const QString& source : m_store.closeSources(metal)) {
            std::map<QDate, Decimal>& into = source == PricingStore::recordedCloses()
                                                 ? s.recordedCloses
                                                 : s.upstreamCloses[source];
            for (const DailyClose& c : m_store.closes(metal, source)) {
                into[c.date] = c.usdPerOunce;
            }
        }
        layer(s);
    }
    if (const auto rates = m_store.latestFxRates()) {
        m_fxDate = rates->date;
        m_rates = rates->perUsd;
    }
    ++m_generation;
}

int MarketRecorder::applySpot(const std::vector<SpotQuote>& quotes) {
    int taken = 0;
    const Instant cutoff = m_clock->now() - kRetention;
    // Memory moves first and the writes follow in one transaction, so a failing store leaves
    // clients served and the log saying the store is behind.
    std::vector<std::function<void()>> writes;
    std::unique_lock lock(m_lock);
    for (const SpotQuote& q : quotes) {
        MetalState& s = state(q.metal);
        if (s.latest && q.asOf <= s.latest->asOf) {
            continue;
        }
        if (s.latest) {
            const QDate previousDay = TradingCalendar::tradingDayOf(s.latest->asOf);
            if (TradingCalendar::tradingDayOf(q.asOf) != previousDay &&
                TradingCalendar::closeOf(previousDay) - s.latest->asOf <= kCloseWindow) {
                const DailyClose close{previousDay, s.latest->usdPerOunce};
                s.recordedCloses[close.date] = close.usdPerOunce;
                writes.push_back([this, q, close] {
                    m_store.saveCloses(q.metal, PricingStore::recordedCloses(), {close});
                });
            }
        }
        s.latest = q;
        writes.push_back([this, q] { m_store.saveLatestQuote(q); });
        if (s.recorded.empty() ||
            slotOf(q.asOf, kRecordEvery) != slotOf(s.recorded.back().asOf, kRecordEvery)) {
            s.recorded.push_back(q);
            while (!s.recorded.empty() && s.recorded.front().asOf < cutoff) {
                s.recorded.pop_front();
            }
            writes.push_back([this, q, cutoff] {
                m_store.recordQuote(q);
                m_store.pruneRecordedQuotes(cutoff);
            });
        }
        ++taken;
    }
    if (taken > 0) {
        ++m_generation;
    }
    lock.unlock();
    if (taken > 0) {
        write([&] {
            for (const auto& w : writes) {
                w();
            }
        });
    }
    return taken;
}

void MarketRecorder::applyFx(const FxRates& rates) {
    std::unique_lock lock(m_lock);
    FxRates merged;
    merged.date = rates.date;
    // A currency the reference set lacks today keeps its last rate.
    merged.perUsd = m_rates;
    for (const auto& [currency, rate] : rates.perUsd) {
        if (rate.signum() > 0 && currency != Currency(Currency::usd) &&
            currency != Currency(Currency::aed)) {
            merged.perUsd[currency] = rate;
        }
    }
    if (m_fxDate && rates.date < *m_fxDate) {
        return;
    }
    m_fxDate = merged.date;
    m_rates = merged.perUsd;
    ++m_generation;
    lock.unlock();
    write([&] { m_store.saveFxRates(merged); });
}

void MarketRecorder::applyDailyCloses(MetalSeries metal, const QString& upstream,
                                      const std::vector<DailyClose>& closes) {
    std::vector<DailyClose> usable;
    for (const DailyClose& c : closes) {
        if (c.date.isValid() && c.usdPerOunce.signum() > 0) {
            usable.push_back(c);
        }
    }
    if (usable.empty()) {
        return;
    }
    {
        const std::lock_guard lock(m_lock);
        MetalState& s = state(metal);
        std::map<QDate, Decimal>& into = s.upstreamCloses[upstream];
        for (const DailyClose& c : usable) {
            into[c.date] = c.usdPerOunce;
        }
        layer(s);
        ++m_generation;
    }
    write([&] { m_store.saveCloses(metal, upstream, usable); });
}

std::optional<SpotQuote> MarketRecorder::latest(MetalSeries metal) const {
    const std::lock_guard lock(m_lock);
    return state(metal).latest;
}

std::optional<Decimal> MarketRecorder::previousClose(MetalSeries metal) const {
    const std::lock_guard lock(m_lock);
    const MetalState& s = state(metal);
    if (!s.latest) {
        return std::nullopt;
    }
    const QDate today = TradingCalendar::tradingDayOf(s.latest->asOf);
    auto before = [&](const auto& closes) {
        auto it = closes.lower_bound(today);
        return it == closes.begin() ? closes.end() : std::prev(it);
    };
    const auto recorded = before(s.recordedCloses);
    const auto upstream = before(s.upstreamSeries);
    const bool haveRecorded = recorded != s.recordedCloses.end();
    const bool haveUpstream = upstream != s.upstreamSeries.end();
    if (haveRecorded && (!haveUpstream || recorded->first >= upstream->first)) {
        return recorded->second;
    }
    if (haveUpstream) {
        return upstream->second.first;
    }
    return std::nullopt;
}

std::optional<Decimal> MarketRecorder::perUsd(Currency currency) const {
    const std::lock_guard lock(m_lock);
    if (currency == Currency(Currency::usd)) {
        return Decimal(1);
    }
    if (currency == Currency(Currency::aed)) {
        return aedPerUsd();
    }
    const auto it = m_rates.find(currency);
    return it == m_rates.end() ? std::nullopt : std::optional<Decimal>(it->second);
}

bool MarketRecorder::hasUpstreamCloses(MetalSeries metal) const {
    const std::lock_guard lock(m_lock);
    return !state(metal).upstreamSeries.empty();
}

bool MarketRecorder::hasRecordedQuotes() const {
    const std::lock_guard lock(m_lock);
    for (const MetalState& s : m_metals) {
        if (!s.recorded.empty()) {
            return true;
        }
    }
    return false;
}

void MarketRecorder::walk(const MetalState& s, TimeRange range, Sink& sink) const {
    // Windows end at the newest quote, so a weekend or an outage still shows the last session.
    const Instant end = s.latest ? s.latest->asOf : m_clock->now();
    const QDate endDay = TradingCalendar::tradingDayOf(end);
    std::optional<Instant> lastQuote;

    auto intraday = [&](std::chrono::seconds span, std::chrono::seconds bucket) {
        const Instant from = end - span;
        // The last quote of each bucket stands for it.
        const SpotQuote* pending = nullptr;
        for (const SpotQuote& q : s.recorded) {
            if (q.asOf <= from || q.asOf > end) {
                continue;
            }
            if (pending && slotOf(pending->asOf, bucket) != slotOf(q.asOf, bucket)) {
                sink.quote(pending->asOf, pending->usdPerOunce, kOwnQuotes);
            }
            pending = &q;
        }
        if (pending) {
            sink.quote(pending->asOf, pending->usdPerOunce, kOwnQuotes);
            lastQuote = pending->asOf;
        }
    };
    auto daily = [&](std::optional<QDate> from) {
        // Only a close at or after the newest quote is left out. Closes rise with their days,
        // and endDay's close is the first weekday's after it, so only the last few days need
        // their close worked out.
        const QDate surelyBefore = endDay.addDays(-3);
        auto take = [&](QDate day, const Decimal& close, Source source) {
            if (day < surelyBefore || TradingCalendar::closeOf(day) < end) {
                sink.close(day, close, source);
            }
        };
        const auto& upstream = s.upstreamSeries;
        for (auto it = from ? upstream.upper_bound(*from) : upstream.begin(); it != upstream.end();
             ++it) {
            take(it->first, it->second.first, it->second.second);
        }
        // Our own closes fill the days after the upstreams' newest.
        const QDate lastUpstream = upstream.empty() ? QDate() : upstream.rbegin()->first;
        const QDate after = from ? std::max(*from, lastUpstream) : lastUpstream;
        for (auto it = s.recordedCloses.upper_bound(after); it != s.recordedCloses.end(); ++it) {
            take(it->first, it->second, kOwnCloses);
        }
    };
    switch (range.value()) {
        case TimeRange::oneDay:
            intraday(24h, kRecordEvery);
            break;
        case TimeRange::oneWeek:
            intraday(7 * 24h, 1h);
            break;
        case TimeRange::oneMonth:
            daily(endDay.addMonths(-1));
            break;
        case TimeRange::threeMonths:
            daily(endDay.addMonths(-3));
            break;
        case TimeRange::oneYear:
            daily(endDay.addYears(-1));
            break;
        case TimeRange::all:
            daily(std::nullopt);
            break;
    }
    // Every other point is before the newest quote, or is it.
    if (s.latest && lastQuote != s.latest->asOf) {
        sink.quote(s.latest->asOf, s.latest->usdPerOunce, kNewestQuote);
    }
}

std::vector<MarketRecorder::Point> MarketRecorder::history(MetalSeries metal,
                                                           TimeRange range) const {
    struct Points final : Sink {
        std::vector<Point> out;
        void quote(Instant t, const Decimal& v, Source) override { out.push_back({t, v}); }
        void close(QDate day, const Decimal& v, Source) override {
            out.push_back({TradingCalendar::closeOf(day), v});
        }
    } points;
    const std::lock_guard lock(m_lock);
    walk(state(metal), range, points);
    return std::move(points.out);
}

std::vector<MarketRecorder::SourceRun> MarketRecorder::historySources(MetalSeries metal,
                                                                      TimeRange range) const {
    // A close's instant is only worked out where a run starts or ends.
    using At = std::variant<Instant, QDate>;
    struct Run {
        Source source;
        At from;
        At to;
        int points;
    };
    struct Runs final : Sink {
        std::vector<Run> runs;
        void add(At at, Source source) {
            if (runs.empty() || runs.back().source != source) {
                runs.push_back({source, at, at, 0});
            }
            runs.back().to = at;
            ++runs.back().points;
        }
        void quote(Instant t, const Decimal&, Source source) override { add(t, source); }
        void close(QDate day, const Decimal&, Source source) override { add(day, source); }
    } collected;
    const std::lock_guard lock(m_lock);
    walk(state(metal), range, collected);
    auto instant = [](const At& at) {
        return std::holds_alternative<Instant>(at) ? std::get<Instant>(at)
                                                   : TradingCalendar::closeOf(std::get<QDate>(at));
    };
    std::vector<SourceRun> out;
    for (const Run& run : collected.runs) {
        out.push_back({m_sourceNames[run.source], instant(run.from), instant(run.to), run.points});
    }
    return out;
}

}  // namespace mintlux::server
