#include "DecimalTesting.h"
#include "EventLoop.h"
#include "FakeClock.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "ScriptedRandom.h"
#include "json/DecodingError.h"
#include "market/UnitConversion.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/HybridPricingProxyClient.h"
#include "pricing/MockPricingProxyClient.h"
#include "pricing/ServiceError.h"
#include "pricing/TransportError.h"

#include <optional>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;
using test::await;

const Server::Response kHtml{500, "<html>down</html>", "text/html"};

// Two real back-ends on two loopback servers, so each one's calls can be counted.
struct Fixture {
    Fixture()
        : primaryClient(std::make_shared<HTTPPricingProxyClient>(
              HTTPPricingProxyClient::Configuration{primary.baseUrl()}, nullptr, 1s)),
          fallbackClient(std::make_shared<HTTPPricingProxyClient>(
              HTTPPricingProxyClient::Configuration{fallback.baseUrl()}, nullptr, 1s)),
          hybrid(primaryClient, fallbackClient) {
        primary.route("/v1/prices",
                      Server::Response{200, test::latestDocument("USD", {{"XAU", "1"}})});
        primary.route("/v1/history", Server::Response{200, test::historyDocument(3)});
        fallback.route("/v1/prices",
                       Server::Response{200, test::latestDocument("USD", {{"XAU", "2"}})});
        fallback.route("/v1/history", Server::Response{200, test::historyDocument(7)});
    }
    QFuture<HistoryResponse> history() {
        return hybrid.fetchHistory(MetalSeries::silver, TimeRange::oneMonth, Currency::inr,
                                   MetalUnit::tola);
    }
    Server primary;
    Server fallback;
    std::shared_ptr<HTTPPricingProxyClient> primaryClient;
    std::shared_ptr<HTTPPricingProxyClient> fallbackClient;
    HybridPricingProxyClient hybrid;
};

TEST(HybridPricingProxyClient, PrimaryServesUntilItsHistoryFailsThenTheFallbackGetsTheSameRequest) {
    Fixture f;
    EXPECT_EQ(await(f.hybrid.fetchLatest(Currency::usd)).prices.at("XAU").value, Decimal(1));
    EXPECT_EQ(await(f.history()).points.size(), 3u);
    EXPECT_EQ(f.fallback.requests().size(), 0u);

    f.primary.route("/v1/history", Server::Response{200, {}, "text/html", Server::Mode::held});
    auto future = f.history();
    ASSERT_TRUE(test::waitUntil([&] { return f.primary.heldCount() == 1; }));
    test::settle();
    EXPECT_EQ(f.fallback.requests().size(), 0u);
    f.primary.release();  // an empty body: a decoding failure
    EXPECT_EQ(await(future).points.size(), 7u);
    EXPECT_EQ(f.fallback.targets(), f.primary.targets().mid(2));
}

// Latest prices never fall back: the primary's decoding error, not the fallback's transport
// error, comes through. History reports the fallback's.
TEST(HybridPricingProxyClient, WithBothFailingLatestReportsThePrimaryAndHistoryTheFallback) {
    Fixture f;
    f.primary.route("/v1/prices", kHtml);
    f.primary.route("/v1/history", kHtml);
    f.fallback.close();
    EXPECT_THROW(await(f.hybrid.fetchLatest(Currency::usd)), DecodingError);
    EXPECT_THROW(await(f.history()), TransportError);
}

// The app's own pairing: the service on loopback, the synthetic walk behind it. A twin walk with
// the same draws shows what the fallback would have answered on its own.
TEST(HybridPricingProxyClient, SimulatedHistoryEndsAtTheLastLivePriceInItsCurrencyAndUnit) {
    const Server::Response refused{503, R"({"error":"no prices recorded yet"})",
                                   "application/json"};
    const auto ozt = MetalUnit::troyOunce;
    struct Row {
        const char* name;
        std::optional<QByteArray> latest;  // what the service answered once; none: an error
        Currency asked;
        MetalSeries series;
        Currency currency;
        MetalUnit unit;
        std::optional<Decimal> end;  // none: the walk as it was
    };
    const auto usd = test::latestDocument("USD", {{"XAU", "2345.68"}, {"XAG", "31.2"}});
    const Row rows[] = {
        {"ounce price, ounce chart", usd, Currency::usd, MetalSeries::gold, Currency::usd, ozt,
         test::dec("2345.68")},
        {"ounce price, gram chart", usd, Currency::usd, MetalSeries::silver, Currency::usd,
         MetalUnit::gram, UnitConversion::convertPrice(test::dec("31.2"), ozt, MetalUnit::gram)},
        {"gram price, tola chart", test::latestDocument("INR", {{"XAU", "7420.5", "gram"}}),
         Currency::inr, MetalSeries::gold, Currency::inr, MetalUnit::tola,
         UnitConversion::convertPrice(test::dec("7420.5"), MetalUnit::gram, MetalUnit::tola)},
        // Filed under the currency the answer is in, not the one asked for.
        {"answer in another currency", usd, Currency::eur, MetalSeries::gold, Currency::eur, ozt,
         std::nullopt},
        {"chart in another currency", usd, Currency::usd, MetalSeries::gold, Currency::gbp, ozt,
         std::nullopt},
        {"metal not priced", usd, Currency::usd, MetalSeries::platinum, Currency::usd, ozt,
         std::nullopt},
        {"no price yet", std::nullopt, Currency::usd, MetalSeries::gold, Currency::usd, ozt,
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Server service;
        service.route("/v1/prices", row.latest ? Server::Response{200, *row.latest} : refused);
        service.route("/v1/history", refused);
        auto clock = std::make_shared<test::FakeClock>();
        auto synthetic = [&] {
            return std::make_shared<MockPricingProxyClient>(
                std::make_shared<test::ScriptedRandom>(0.8), clock);
        };
        HybridPricingProxyClient hybrid(
            std::make_shared<HTTPPricingProxyClient>(
                HTTPPricingProxyClient::Configuration{service.baseUrl()}, nullptr, 1s),
            synthetic());
        auto twin = synthetic();

        if (row.latest) {
            await(hybrid.fetchLatest(row.asked));
        } else {
            EXPECT_THROW(await(hybrid.fetchLatest(row.asked)), ServiceError);
        }
        // The price on screen stays while the service fails; so does the anchor.
        service.route("/v1/prices", refused);
        EXPECT_THROW(await(hybrid.fetchLatest(row.asked)), ServiceError);

        const auto answer = await(
            hybrid.fetchSourcedHistory(row.series, TimeRange::oneWeek, row.currency, row.unit));
        const auto alone =
            await(twin->fetchHistory(row.series, TimeRange::oneWeek, row.currency, row.unit));
        EXPECT_TRUE(answer.origin.fromFallback);
        EXPECT_TRUE(answer.origin.primaryFailure);
        const auto& points = answer.response.points;
        ASSERT_EQ(points.size(), alone.points.size());
        ASSERT_GT(points.size(), 2u);
        if (!row.end) {
            EXPECT_EQ(points, alone.points);
            continue;
        }
        EXPECT_EQ(points.back().v, *row.end);
        EXPECT_EQ(answer.response.unit, row.unit.rawValue());
        EXPECT_EQ(answer.response.currency, row.currency.rawValue());
        EXPECT_NE(points.front().v, points.back().v);
        // The same walk, moved as a whole: every step keeps its relative size.
        for (std::size_t i = 0; i < points.size(); ++i) {
            EXPECT_EQ(points[i].t, alone.points[i].t);
            EXPECT_GT(points[i].v.signum(), 0);
            EXPECT_NEAR(points[i].v.toDouble() / points.back().v.toDouble(),
                        alone.points[i].v.toDouble() / alone.points.back().v.toDouble(), 1e-12);
        }
        EXPECT_EQ(await(hybrid.fetchHistory(row.series, TimeRange::oneWeek, row.currency, row.unit))
                      .points.back()
                      .v,
                  *row.end);
    }
}

}  // namespace
}  // namespace mintlux
