#include "EventLoop.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "json/DecodingError.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/HybridPricingProxyClient.h"
#include "pricing/TransportError.h"

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

}  // namespace
}  // namespace mintlux
