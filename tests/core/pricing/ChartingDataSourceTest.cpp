#include "EventLoop.h"
#include "FakeClock.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "json/DecodingError.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/MetalPricingService.h"

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;
using test::await;

// The cache over the real service and HTTP back-end; each service call is a request the
// loopback server counts.
class ChartingDataSourceTest : public ::testing::Test {
protected:
    ChartingDataSourceTest() {
        server.route("/v1/history", [this](const Server::Request&) {
            return failing ? Server::Response{500, "<html/>", "text/html"}
                           : Server::Response{200, test::historyDocument(pointCount)};
        });
        auto client = std::make_shared<HTTPPricingProxyClient>(
            HTTPPricingProxyClient::Configuration{server.baseUrl()});
        source = std::make_unique<ChartingDataSource>(
            std::make_shared<MetalPricingService>(client, 60.0, clock), 60.0, clock);
    }
    std::vector<MetalPricePoint> gold(MetalUnit unit = MetalUnit::gram,
                                      Currency currency = Currency::usd) {
        return await(source->points(MetalSeries::gold, TimeRange::oneWeek, currency, unit));
    }
    int calls() const { return server.count("/v1/history"); }

    Server server;
    bool failing = false;
    int pointCount = 4;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::unique_ptr<ChartingDataSource> source;
};

TEST_F(ChartingDataSourceTest, FreshEntriesAreServedUntilTheTimeToLiveIsReached) {
    const auto first = gold();
    ASSERT_EQ(first.size(), 4u);
    pointCount = 9;  // a new request would show
    clock->advance(10s);
    EXPECT_EQ(gold(), first);
    clock->advance(49'999ms);
    EXPECT_EQ(gold(), first);
    EXPECT_EQ(calls(), 1);

    clock->advance(1ms);  // exactly 60 s: no longer fresh
    EXPECT_EQ(gold().size(), 9u);
    EXPECT_EQ(calls(), 2);
}

TEST_F(ChartingDataSourceTest, EachCombinationIsItsOwnEntry) {
    gold(MetalUnit::gram, Currency::usd);
    gold(MetalUnit::kilo, Currency::usd);
    gold(MetalUnit::gram, Currency::eur);
    await(source->points(MetalSeries::silver, TimeRange::oneWeek, Currency::usd, MetalUnit::gram));
    await(source->points(MetalSeries::gold, TimeRange::oneDay, Currency::usd, MetalUnit::gram));
    EXPECT_EQ(calls(), 5);
    gold(MetalUnit::kilo, Currency::usd);
    EXPECT_EQ(calls(), 5);
}

TEST_F(ChartingDataSourceTest, FailuresPassThroughAndLeaveTheCacheAlone) {
    gold();
    clock->advance(61s);
    failing = true;
    EXPECT_THROW(gold(), DecodingError);  // the expired entry is not served...
    EXPECT_EQ(calls(), 2);
    EXPECT_THROW(gold(), DecodingError);  // ...nor is the failure kept: the retry asks again
    EXPECT_EQ(calls(), 3);
    failing = false;
    pointCount = 2;
    EXPECT_EQ(gold().size(), 2u);
}

TEST_F(ChartingDataSourceTest, EmptyAnswersAreCachedAndAClockSetBackRefetches) {
    pointCount = 0;
    EXPECT_TRUE(gold().empty());
    EXPECT_TRUE(gold().empty());
    EXPECT_EQ(calls(), 1);  // an empty answer is cached like any other

    // Set back an hour, the entry's age is unknown: it is fetched again, not served for an hour.
    clock->set(clock->now() - 1h);
    gold();
    EXPECT_EQ(calls(), 2);
    gold();
    EXPECT_EQ(calls(), 2);
}

}  // namespace
}  // namespace mintlux
