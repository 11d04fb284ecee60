#include "pricing/MockPricingProxyClient.h"

#include "market/UnitConversion.h"
#include "pricing/Futures.h"
#include "pricing/SystemRandomSource.h"

#include <algorithm>
#include <cmath>

namespace mintlux {

namespace {

struct Tables {
    std::array<Decimal, 4> basePricesUSDPerOz;
    std::array<double, 4> perTickVolatility;
    std::array<Decimal, 5> fxFromUSD;
};

const Tables& tables() {
    static const Tables t{
        {*Decimal::parse("2890"), *Decimal::parse("32.50"), *Decimal::parse("1085"),
         *Decimal::parse("1240")},
        {0.0008, 0.002, 0.0012, 0.0018},
        {*Decimal::parse("1"), *Decimal::parse("83.5"), *Decimal::parse("0.92"),
         *Decimal::parse("0.79"), *Decimal::parse("3.67")},
    };
    return t;
}

struct RangeGeometry {
    int count;
    int stepSeconds;  // the span divided by the count
};

RangeGeometry geometry(TimeRange range) {
    switch (range.value()) {
        case TimeRange::oneDay:
            return {96, 86'400 / 96};
        case TimeRange::oneWeek:
            return {168, 604'800 / 168};
        case TimeRange::oneMonth:
            return {120, 2'592'000 / 120};
        case TimeRange::threeMonths:
            return {90, 7'776'000 / 90};
        case TimeRange::oneYear:
            return {365, 31'536'000 / 365};
        case TimeRange::all:
            return {730, 63'072'000 / 730};
    }
    return {0, 0};
}

}  // namespace

MockPricingProxyClient::MockPricingProxyClient(std::shared_ptr<RandomSource> random,
                                               std::shared_ptr<Clock> clock)
    : m_random(random ? std::move(random) : std::make_shared<SystemRandomSource>()),
      m_clock(clock ? std::move(clock) : Clock::system()),
      m_lastValuesUSDPerOz(tables().basePricesUSDPerOz) {
    for (const MetalSeries metal : MetalSeries::allCases()) {
        const Decimal& base = tables().basePricesUSDPerOz[metal.index()];
        m_prevCloseUSDPerOz[metal.index()] = base * (Decimal(1) - draw(0.012));
    }
}

const Decimal& MockPricingProxyClient::fxFromUSD(Currency currency) {
    return tables().fxFromUSD[currency.index()];
}

Decimal MockPricingProxyClient::draw(double bound) const {
    // A source that hands back a non-finite draw moves nothing rather than poisoning the walk.
    return Decimal::fromDouble(m_random->uniform(-bound, bound)).value_or(Decimal());
}

QFuture<LatestPricesResponse> MockPricingProxyClient::fetchLatest(Currency currency) {
    try {
        return Futures::ready(latest(currency));
    } catch (...) {
        return Futures::failed<LatestPricesResponse>(std::current_exception());
    }
}

QFuture<HistoryResponse> MockPricingProxyClient::fetchHistory(MetalSeries series, TimeRange range,
                                                              Currency currency, MetalUnit unit) {
    try {
        return Futures::ready(history(series, range, currency, unit));
    } catch (...) {
        return Futures::failed<HistoryResponse>(std::current_exception());
    }
}

LatestPricesResponse MockPricingProxyClient::latest(Currency currency) {
    for (const MetalSeries metal : MetalSeries::allCases()) {
        Decimal& value = m_lastValuesUSDPerOz[metal.index()];
        value = value * (Decimal(1) + draw(tables().perTickVolatility[metal.index()]));
    }
    const Decimal& fx = tables().fxFromUSD[currency.index()];
    LatestPricesResponse response;
    response.currency = currency.rawValue();
    response.asOf = m_clock->now();
    response.stale = false;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        response.prices.emplace(metal.rawValue(), LatestPricesResponse::PriceEntry{
                                                      m_lastValuesUSDPerOz[metal.index()] * fx,
                                                      m_prevCloseUSDPerOz[metal.index()] * fx,
                                                      MetalUnit(MetalUnit::troyOunce).rawValue(),
                                                  });
    }
    return response;
}

HistoryResponse MockPricingProxyClient::history(MetalSeries series, TimeRange range,
                                                Currency currency, MetalUnit unit) const {
    const RangeGeometry g = geometry(range);
    const Decimal& fx = tables().fxFromUSD[currency.index()];
    const Instant now = m_clock->now();
    // One step's spread grows with the square root of the step length in minutes.
    const double sigma = tables().perTickVolatility[series.index()] *
                         std::sqrt(static_cast<double>(g.stepSeconds) / 60.0);

    HistoryResponse response;
    response.series = series.rawValue();
    response.currency = currency.rawValue();
    response.unit = unit.rawValue();
    response.range = range.rawValue();
    response.points.reserve(static_cast<std::size_t>(g.count));

    Decimal value = m_lastValuesUSDPerOz[series.index()];
    for (int i = 0; i < g.count; ++i) {
        const Instant t = now - std::chrono::seconds(std::int64_t(i) * g.stepSeconds);
        const Decimal perUnit = UnitConversion::convertPrice(value, MetalUnit::troyOunce, unit);
        response.points.push_back({t, perUnit * fx});
        value = value * (Decimal(1) - draw(sigma));
    }
    std::reverse(response.points.begin(), response.points.end());
    return response;
}

}  // namespace mintlux
