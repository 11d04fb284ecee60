#include "DecimalTesting.h"
#include "EventLoop.h"
#include "FakeClock.h"
#include "ScriptedRandom.h"
#include "pricing/MockPricingProxyClient.h"
#include "pricing/SystemRandomSource.h"

#include <cmath>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using test::await;
using test::FakeClock;
using test::ScriptedRandom;

using test::dec;

struct Fixture {
    explicit Fixture(double position)
        : random(std::make_shared<ScriptedRandom>(position)),
          clock(std::make_shared<FakeClock>()),
          client(random, clock) {}
    LatestPricesResponse latest(Currency c) { return await(client.fetchLatest(c)); }
    HistoryResponse history(MetalSeries s, TimeRange r, Currency c, MetalUnit u) {
        return await(client.fetchHistory(s, r, c, u));
    }
    std::shared_ptr<ScriptedRandom> random;
    std::shared_ptr<FakeClock> clock;
    MockPricingProxyClient client;
};

// Every draw at its upper bound: previous closes sit 1.2 % under base, each step adds the full
// volatility, so the tables show through exactly.
TEST(MockPricingProxyClient, FirstStepAtTheUpperBoundOfEveryDraw) {
    Fixture f(1.0);
    const LatestPricesResponse r = f.latest(Currency::usd);

    EXPECT_EQ(r.currency, "USD");
    EXPECT_FALSE(r.stale);
    EXPECT_EQ(r.asOf, f.clock->now());
    ASSERT_EQ(r.prices.size(), 4u);
    struct Row {
        const char* code;
        const char* value;
        const char* prevClose;
    };
    for (const Row& row : {Row{"XAU", "2892.312", "2855.32"}, Row{"XAG", "32.565", "32.11"},
                           Row{"XPT", "1086.302", "1071.98"}, Row{"XPD", "1242.232", "1225.12"}}) {
        SCOPED_TRACE(row.code);
        const auto& entry = r.prices.at(QString::fromLatin1(row.code));
        EXPECT_EQ(entry.value, dec(row.value));
        EXPECT_EQ(entry.prevClose, dec(row.prevClose));
        EXPECT_EQ(entry.unit, "troyOunce");
    }
    // Construction draws the four closes, then one step per metal in case order.
    const std::vector<std::pair<double, double>> expected{
        {-0.012, 0.012},   {-0.012, 0.012}, {-0.012, 0.012},   {-0.012, 0.012},
        {-0.0008, 0.0008}, {-0.002, 0.002}, {-0.0012, 0.0012}, {-0.0018, 0.0018}};
    EXPECT_EQ(f.random->bounds(), expected);
}

TEST(MockPricingProxyClient, ConvertsTheDollarStateWithFixedRates) {
    struct Row {
        Currency currency;
        const char* gold;
        const char* silver;
    };
    for (const Row& row :
         {Row{Currency::usd, "2890", "32.5"}, Row{Currency::inr, "241315", "2713.75"},
          Row{Currency::eur, "2658.8", "29.9"}, Row{Currency::gbp, "2283.1", "25.675"},
          Row{Currency::aed, "10606.3", "119.275"}}) {
        SCOPED_TRACE(row.currency.rawValue().toStdString());
        Fixture f(0.5);  // zero draws: the state stays at the base prices
        const LatestPricesResponse r = f.latest(row.currency);
        EXPECT_EQ(r.currency, row.currency.rawValue());
        EXPECT_EQ(r.prices.at("XAU").value, dec(row.gold));
        EXPECT_EQ(r.prices.at("XAU").prevClose, dec(row.gold));
        EXPECT_EQ(r.prices.at("XAG").value, dec(row.silver));
    }
}

TEST(MockPricingProxyClient, WalkStaysInDollarsHistoryLeavesItAndInstancesWalkApart) {
    Fixture a(1.0);
    Fixture b(1.0);
    const Decimal step = dec("1.0008");
    EXPECT_EQ(a.latest(Currency::eur).prices.at("XAU").value, dec("2890") * step * dec("0.92"));
    a.history(MetalSeries::gold, TimeRange::all, Currency::usd, MetalUnit::gram);
    const auto second = a.latest(Currency::usd);
    EXPECT_EQ(second.prices.at("XAU").value, dec("2890") * step * step);
    EXPECT_EQ(second.prices.at("XAU").prevClose, dec("2855.32"));
    // b has seen one step fewer than a; if state were shared, they would not differ.
    const auto first = b.latest(Currency::usd);
    EXPECT_EQ(b.latest(Currency::usd), second);
    EXPECT_NE(first.prices.at("XAU").value, second.prices.at("XAU").value);
}

TEST(MockPricingProxyClient, HistoryGeometryPerRange) {
    struct Row {
        TimeRange range;
        int count;
        int step;
    };
    for (const Row& row :
         {Row{TimeRange::oneDay, 96, 900}, Row{TimeRange::oneWeek, 168, 3600},
          Row{TimeRange::oneMonth, 120, 21600}, Row{TimeRange::threeMonths, 90, 86400},
          Row{TimeRange::oneYear, 365, 86400}, Row{TimeRange::all, 730, 86400}}) {
        SCOPED_TRACE(row.range.rawValue().toStdString());
        Fixture f(0.5);
        f.random->clearBounds();
        const HistoryResponse h =
            f.history(MetalSeries::platinum, row.range, Currency::gbp, MetalUnit::kilo);
        EXPECT_EQ(h.series, "XPT");
        EXPECT_EQ(h.range, row.range.rawValue());
        EXPECT_EQ(h.currency, "GBP");
        EXPECT_EQ(h.unit, "kilo");
        ASSERT_EQ(h.points.size(), static_cast<std::size_t>(row.count));
        EXPECT_EQ(h.points.back().t, f.clock->now());
        for (std::size_t i = 1; i < h.points.size(); ++i) {
            ASSERT_EQ(h.points[i].t - h.points[i - 1].t, std::chrono::seconds(row.step));
        }
        const double sigma = 0.0012 * std::sqrt(row.step / 60.0);
        ASSERT_FALSE(f.random->bounds().empty());
        EXPECT_DOUBLE_EQ(f.random->bounds().front().second, sigma);
        EXPECT_DOUBLE_EQ(f.random->bounds().front().first, -sigma);
    }
}

TEST(MockPricingProxyClient, HistoryWalksBackFromTheCurrentValueInTheRequestedUnit) {
    Fixture f(1.0);
    const Decimal now = f.latest(Currency::usd).prices.at("XAU").value;
    const auto points = [&](MetalUnit unit, Currency currency) {
        return f.history(MetalSeries::gold, TimeRange::oneDay, currency, unit).points;
    };
    // In any unit and currency, through the shared conversions.
    EXPECT_EQ(points(MetalUnit::kilo, Currency::eur).back().v,
              now / dec("31.1034768") * Decimal(1000) * dec("0.92"));
    const auto ounces = points(MetalUnit::troyOunce, Currency::usd);
    EXPECT_EQ(ounces.back().v, now);
    // Each step back multiplies by (1 - r), with r at its upper bound here.
    const double sigma = 0.0008 * std::sqrt(15.0);
    const Decimal older = now * (Decimal(1) - *Decimal::fromDouble(sigma));
    EXPECT_EQ(ounces[ounces.size() - 2].v, older);
    EXPECT_LT(ounces.front().v, older);
}

TEST(SystemRandomSource, DrawsCoverTheClosedInterval) {
    EXPECT_EQ(SystemRandomSource::closedUniform(0, -0.5, 0.5), -0.5);
    EXPECT_EQ(SystemRandomSource::closedUniform(SystemRandomSource::kTicks, -0.5, 0.5), 0.5);
    EXPECT_EQ(SystemRandomSource::closedUniform(SystemRandomSource::kTicks / 2, -0.5, 0.5), 0.0);

    SystemRandomSource a(42);
    SystemRandomSource b(42);
    double low = 1;
    double high = -1;
    for (int i = 0; i < 10'000; ++i) {
        const double x = a.uniform(-0.002, 0.002);
        ASSERT_EQ(x, b.uniform(-0.002, 0.002));
        ASSERT_GE(x, -0.002);
        ASSERT_LE(x, 0.002);
        low = std::min(low, x);
        high = std::max(high, x);
    }
    EXPECT_LT(low, -0.0019);
    EXPECT_GT(high, 0.0019);
}

}  // namespace
}  // namespace mintlux
