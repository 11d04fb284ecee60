#include "EventLoop.h"
#include "LoopbackHttpServer.h"
#include "RecordedBody.h"
#include "pricing/TransportError.h"
#include "providers/FrankfurterDailyProvider.h"
#include "providers/FrankfurterFxProvider.h"
#include "providers/LiveProviders.h"
#include "providers/SwissquoteSpotProvider.h"
#include "providers/UpstreamHttp.h"

#include <QNetworkAccessManager>

#include <gtest/gtest.h>

namespace mintlux::server {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;
using test::recorded;

// What the future failed with, as text, with a TransportError's kind in front.
std::string failureOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const TransportError& e) {
        return "transport " + std::to_string(static_cast<int>(e.kind())) + ": " + e.what();
    } catch (const ProviderError& e) {
        return std::string("provider: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("other: ") + e.what();
    }
}

class ProviderFetch : public ::testing::Test {
protected:
    QNetworkAccessManager network;
    Server server;
};

TEST_F(ProviderFetch, OnlyAUsableAnswerReachesTheParser) {
    struct Row {
        const char* name;
        Server::Response response;
        std::string expected;  // a fragment of the failure; empty for success
    };
    Server::Response limited{429, recorded("rate-limited-429.txt"), "text/plain"};
    limited.extraHeaders = {{"Retry-After", "30"}};
    Server::Response trickle{200, recorded("frankfurter-latest.json"), "application/json",
                             Server::Mode::slowBody};
    trickle.chunkDelay = 100ms;
    const std::string timedOut =
        "transport " + std::to_string(static_cast<int>(TransportError::Kind::timedOut));
    const Row rows[] = {
        {"json", {200, recorded("frankfurter-latest.json"), "application/json; charset=utf-8"}, ""},
        {"429", limited, "provider: Frankfurter request to http://127.0.0.1"},
        {"429 body", limited, "answered HTTP 429 with \"error code: 1015\" (retry after 30)"},
        {"html 200",
         {200, recorded("html-200.html"), "text/html; charset=UTF-8"},
         "answered text/html instead of JSON: an HTML page"},
        {"html 503", {503, recorded("html-200.html"), "text/html"}, "HTTP 503 with an HTML page"},
        {"silent", {200, {}, "application/json", Server::Mode::silent}, timedOut},
        // The deadline covers the whole transfer, not only silence between bytes.
        {"trickle", trickle, timedOut},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Server upstream;
        upstream.route("/latest", row.response);
        FrankfurterFxProvider provider(network, upstream.baseUrl(), 400ms);
        if (row.expected.empty()) {
            EXPECT_EQ(test::await(provider.fetchRates()).perUsd.at(Currency::inr),
                      *Decimal::parse("89.94"));
        } else {
            const std::exception_ptr error = test::awaitFailure(provider.fetchRates());
            ASSERT_TRUE(error);
            EXPECT_NE(failureOf(error).find(row.expected), std::string::npos) << failureOf(error);
        }
        EXPECT_EQ(upstream.targets(), QByteArrayList{"/latest?base=USD&symbols=EUR,GBP,INR"});
        EXPECT_TRUE(upstream.requests()[0].headers.at("user-agent").startsWith("mintlux-pricing/"));
    }
}

TEST_F(ProviderFetch, SpotRoundKeepsTheMetalsThatArrived) {
    server.route("/XAU/USD", Server::Response{200, recorded("swissquote-xau.json")});
    server.route("/XAG/USD", Server::Response{429, recorded("rate-limited-429.txt"), "text/plain"});
    server.route("/XPT/USD", Server::Response{200, recorded("html-200.html"), "text/html"});
    server.route("/XPD/USD", Server::Response{200, recorded("swissquote-empty.json")});
    SwissquoteSpotProvider provider(network, server.baseUrl(), 2s);
    const std::vector<SpotQuote> quotes = test::await(provider.fetchSpot());
    ASSERT_EQ(quotes.size(), 1u);
    EXPECT_EQ(quotes[0].metal, MetalSeries::gold);
    EXPECT_EQ(server.requests().size(), 4u);

    // With nothing usable the round fails, with the first metal's reason.
    Server down;
    for (const char* path : {"/XAU/USD", "/XAG/USD", "/XPT/USD", "/XPD/USD"}) {
        down.route(path, Server::Response{429, "slow down", "text/plain"});
    }
    SwissquoteSpotProvider failing(network, down.baseUrl(), 2s);
    const std::string failure = failureOf(test::awaitFailure(failing.fetchSpot()));
    EXPECT_NE(failure.find("provider: Swissquote request to"), std::string::npos) << failure;
    EXPECT_NE(failure.find("/XAU/USD answered HTTP 429"), std::string::npos) << failure;
}

TEST_F(ProviderFetch, ARequestOutlivingItsProviderEndsCancelled) {
    server.route("/latest", Server::Response{200, recorded("frankfurter-latest.json"),
                                             "application/json", Server::Mode::held});
    auto provider = std::make_unique<FrankfurterFxProvider>(network, server.baseUrl(), 2s);
    QFuture<FxRates> future = provider->fetchRates();
    ASSERT_TRUE(test::waitUntil([&] { return server.heldCount() == 1; }));
    provider.reset();
    server.release();
    test::settle();
    EXPECT_TRUE(future.isFinished());
    EXPECT_TRUE(future.isCanceled());
}

// The whole series once, then only the last month: a free service is not asked for decades
// of closes every day, and a late publisher's days still arrive.
TEST_F(ProviderFetch, DailyReferencePricesAskForTheWholeSeriesOnlyOnce) {
    server.route("/rates", Server::Response{200, recorded("frankfurter-v2-xau.json")});
    FrankfurterDailyProvider provider(network, server.baseUrl(), 2s);
    EXPECT_EQ(test::await(provider.fetchDailyCloses(MetalSeries::gold)).size(), 5u);
    EXPECT_EQ(test::await(provider.fetchDailyCloses(MetalSeries::gold)).size(), 5u);
    // Another metal has not been answered yet (and this answer is for the wrong one).
    EXPECT_TRUE(test::awaitFailure(provider.fetchDailyCloses(MetalSeries::silver)));
    EXPECT_TRUE(test::awaitFailure(provider.fetchDailyCloses(MetalSeries::silver)));
    EXPECT_EQ(server.targets(), QByteArrayList({"/rates?base=XAU&quotes=USD&from=1999-01-01",
                                                "/rates?base=XAU&quotes=USD&from=2025-11-04",
                                                "/rates?base=XAG&quotes=USD&from=1999-01-01",
                                                "/rates?base=XAG&quotes=USD&from=1999-01-01"}));
}

TEST_F(ProviderFetch, LiveProvidersComeInFallbackOrder) {
    const LiveProviders live = makeLiveProviders(network);
    auto names = [](const auto& list) {
        QStringList out;
        for (const auto& provider : list) {
            out << provider->name();
        }
        return out;
    };
    EXPECT_EQ(names(live.spot), QStringList({"Swissquote", "gold-api.com"}));
    EXPECT_EQ(names(live.fx), QStringList({"Frankfurter", "ECB"}));
    EXPECT_EQ(names(live.daily), QStringList({"LBMA", "Frankfurter"}));
}

}  // namespace
}  // namespace mintlux::server
