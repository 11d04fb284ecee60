#include "SyntheticMarket.h"

#include "pricing/Futures.h"

#include <QDateTime>
#include <QTimeZone>

namespace mintlux::server {

namespace {

QDate utcDate(Instant t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count(), QTimeZone::utc()).date();
}

// The mock answers at once, so its futures are already finished here.
template <class T>
T now(QFuture<T> future) {
    future.waitForFinished();
    return future.takeResult();
}

}  // namespace

SyntheticMarket::SyntheticMarket(std::shared_ptr<MockPricingProxyClient> walk)
    : m_walk(std::move(walk)) {}

LiveProviders SyntheticMarket::providers(std::shared_ptr<MockPricingProxyClient> walk) {
    LiveProviders out;
    out.spot.push_back(std::make_unique<SyntheticMarket>(walk));
    out.fx.push_back(std::make_unique<SyntheticMarket>(walk));
    out.daily.push_back(std::make_unique<SyntheticMarket>(walk));
    return out;
}

QFuture<std::vector<SpotQuote>> SyntheticMarket::fetchSpot() {
    try {
        const LatestPricesResponse latest = now(m_walk->fetchLatest(Currency::usd));
        std::vector<SpotQuote> quotes;
        for (const MetalSeries metal : MetalSeries::allCases()) {
            if (const auto it = latest.prices.find(metal.rawValue()); it != latest.prices.end()) {
                quotes.push_back({metal, it->second.value, latest.asOf});
            }
        }
        return Futures::ready(std::move(quotes));
    } catch (...) {
        return Futures::failed<std::vector<SpotQuote>>(std::current_exception());
    }
}

QFuture<FxRates> SyntheticMarket::fetchRates() {
    FxRates rates;
    rates.date = utcDate(std::chrono::system_clock::now());
    for (const Currency currency : Currency::allCases()) {
        rates.perUsd.emplace(currency, MockPricingProxyClient::fxFromUSD(currency));
    }
    return Futures::ready(std::move(rates));
}

QFuture<std::vector<DailyClose>> SyntheticMarket::fetchDailyCloses(MetalSeries metal) {
    try {
        const HistoryResponse history =
            now(m_walk->fetchHistory(metal, TimeRange::all, Currency::usd, MetalUnit::troyOunce));
        std::vector<DailyClose> closes;
        // The newest point is now, not a close; the rest are a day apart.
        for (std::size_t i = 0; i + 1 < history.points.size(); ++i) {
            closes.push_back({utcDate(history.points[i].t), history.points[i].v});
        }
        return Futures::ready(std::move(closes));
    } catch (...) {
        return Futures::failed<std::vector<DailyClose>>(std::current_exception());
    }
}

std::vector<SpotQuote> SyntheticMarket::recentWeek(MockPricingProxyClient& walk) {
    std::vector<HistoryResponse> histories;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        histories.push_back(
            now(walk.fetchHistory(metal, TimeRange::oneWeek, Currency::usd, MetalUnit::troyOunce)));
    }
    // Interleaved by time, so the recorder sees the week in the order it happened.
    std::vector<SpotQuote> quotes;
    for (std::size_t i = 0; i < histories.front().points.size(); ++i) {
        for (const MetalSeries metal : MetalSeries::allCases()) {
            const auto& p = histories[metal.index()].points[i];
            quotes.push_back({metal, p.v, p.t});
        }
    }
    return quotes;
}

}  // namespace mintlux::server
