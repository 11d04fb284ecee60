#include "EventLoop.h"
#include "FakeClock.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "json/DecodingError.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/MetalPricingService.h"
#include "pricing/TransportError.h"
#include "pricing/WireDecoder.h"

#include <cmath>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;
using Snapshot = MetalPricingService::Snapshot;
using test::await;
using test::waitUntil;

const QByteArray kHtml = "<html><body>Bad gateway</body></html>";

// The one line a cycle that received kHtml logs.
std::string htmlFailureLine() {
    try {
        WireDecoder().decode<LatestPricesResponse>(kHtml);
    } catch (const DecodingError& e) {
        return "Mintlux: pricing refresh failed: " + std::string(e.what()) + "\n";
    }
    return "decoded";
}

// The service over the real HTTP back-end and a loopback server; only time is fake.
class MetalPricingServiceTest : public ::testing::Test {
protected:
    MetalPricingServiceTest() {
        setPrices("USD", "2890.5");
        setPrices("EUR", "2659.25");
        server.route("/v1/prices", [this](const Server::Request& request) {
            Server::Response r{status, documents[request.queryItem("currency")]};
            r.mode = mode;
            return r;
        });
        server.route("/v1/history", Server::Response{200, test::historyDocument(3, "kilo")});
        client = std::make_shared<HTTPPricingProxyClient>(
            HTTPPricingProxyClient::Configuration{server.baseUrl()}, nullptr, 200ms);
        service = std::make_unique<MetalPricingService>(client, 60.0, clock, log);
    }

    void setPrices(const QByteArray& currency, const QByteArray& gold) {
        documents[currency] =
            test::latestDocument(currency, {{"XAU", gold, "troyOunce", "2800"},
                                            {"XAG", "32.5", "troyOunce", "32"},
                                            {"XPT", "1085", "troyOunce"},
                                            {"XPD", "1240", "troyOunce", "1200"}});
    }
    auto polls(const QByteArray& currency = {}) const {
        return std::count_if(server.requests().begin(), server.requests().end(), [&](auto& r) {
            return r.path == "/v1/prices" &&
                   (currency.isEmpty() || r.queryItem("currency") == currency);
        });
    }
    bool pollsReach(int n, const QByteArray& currency = {}) {
        return waitUntil([&] { return polls(currency) == n; });
    }
    // A cycle has ended once the loop asks for its sleep.
    bool waitForSleep() {
        return waitUntil([&] { return clock->pendingSleeps() == 1; });
    }
    bool startAndSleep() {
        service->start(Currency::usd);
        return waitForSleep();
    }
    // Starts polling in dollars with the server holding the first answer back.
    bool startHeld() {
        mode = Server::Mode::held;
        service->start(Currency::usd);
        return waitUntil([&] { return server.heldCount() == 1; });
    }
    Decimal gold(const Snapshot& s) const { return s.at(MetalSeries::gold).value(); }
    Snapshot latest(Currency c) { return await(service->latest(c)); }

    Server server;
    std::map<QByteArray, QByteArray> documents;
    int status = 200;
    Server::Mode mode = Server::Mode::normal;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::ostringstream log;
    std::shared_ptr<HTTPPricingProxyClient> client;
    std::unique_ptr<MetalPricingService> service;
};

TEST_F(MetalPricingServiceTest, FirstCycleAtOnceThenTheIntervalFromEachCycleEnd) {
    ASSERT_TRUE(startHeld());
    clock->advance(300s);  // a slow cycle does not start the clock
    EXPECT_EQ(clock->pendingSleeps(), 0u);

    mode = Server::Mode::normal;
    server.release();
    ASSERT_TRUE(waitForSleep());
    EXPECT_EQ(clock->requestedSleeps(), std::vector<SleepDuration>{60s});
    EXPECT_EQ(gold(latest(Currency::usd)), *Decimal::parse("2890.5"));

    clock->advance(59'999ms);
    test::settle();
    EXPECT_EQ(polls(), 1);
    clock->advance(1ms);
    EXPECT_TRUE(pollsReach(2));
}

TEST_F(MetalPricingServiceTest, SnapshotIsReplacedWholeAndUnknownCodesFallBack) {
    await(service->refresh(Currency::usd));
    ASSERT_EQ(latest(Currency::usd).size(), 4u);

    documents["USD"] = test::latestDocument(
        "XYZ", {{"XAU", "93.25", "grams", "90"}, {"XAG", "32.5"}, {"XRH", "4500"}},
        "2025-01-31T15:05:09+01:00");
    await(service->refresh(Currency::usd));
    const Snapshot s = latest(Currency::usd);
    ASSERT_EQ(s.size(), 2u);  // platinum and palladium of the last cycle are gone
    EXPECT_EQ(s.at(MetalSeries::gold),
              MetalPriceTick(MetalSeries::gold, *Decimal::parse("93.25"), MetalUnit::troyOunce,
                             Currency::usd, Instant(1'738'332'309s), Decimal(90)));
    EXPECT_EQ(s.at(MetalSeries::silver).prevClose(), std::nullopt);
    EXPECT_TRUE(latest(Currency::eur).empty());
}

TEST_F(MetalPricingServiceTest, FailedCycleLogsOneLineKeepsTheSnapshotAndGoesOn) {
    ASSERT_TRUE(startAndSleep());
    auto stream = service->live(Currency::usd);
    ASSERT_EQ(stream->takeAll().size(), 1u);

    documents["USD"] = kHtml;
    status = 502;
    clock->advance(60s);
    ASSERT_TRUE(waitUntil([&] { return polls() == 2 && clock->pendingSleeps() == 1; }));
    EXPECT_EQ(log.str(), htmlFailureLine());
    EXPECT_EQ(gold(latest(Currency::usd)), *Decimal::parse("2890.5"));
    test::settle();
    EXPECT_FALSE(stream->hasPending());

    setPrices("USD", "2901");
    status = 200;
    clock->advance(60s);
    ASSERT_TRUE(waitUntil([&] { return stream->hasPending(); }));
    EXPECT_EQ(gold(*stream->next()), Decimal(2901));
}

TEST_F(MetalPricingServiceTest, SilentServerTimesOutWithOneLogLine) {
    mode = Server::Mode::silent;
    ASSERT_TRUE(startAndSleep());
    const std::string line = log.str();
    EXPECT_EQ(line.rfind("Mintlux: pricing refresh failed: Request to http://127.0.0.1:", 0), 0u);
    EXPECT_NE(line.find("/v1/prices?currency=USD timed out"), std::string::npos);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
}

TEST(MetalPricingServiceInterval, FloorCeilingAndNanosecondCount) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr auto maxCount = std::numeric_limits<std::uint64_t>::max();
    struct Row {
        double given;
        double stored;
        std::uint64_t nanoseconds;
    };
    for (const Row& row :
         {Row{nan, 1.0, 1'000'000'000}, Row{-3, 1.0, 1'000'000'000}, Row{0.2, 1.0, 1'000'000'000},
          Row{1.0, 1.0, 1'000'000'000}, Row{2.5, 2.5, 2'500'000'000},
          Row{86'400, 86'400, 86'400'000'000'000}, Row{1e300, 18446744073.709551616, maxCount},
          Row{inf, 18446744073.709551616, maxCount}}) {
        SCOPED_TRACE(row.given);
        EXPECT_DOUBLE_EQ(MetalPricingService::normalizedInterval(row.given), row.stored);
        EXPECT_EQ(MetalPricingService::sleepDuration(row.given).count(), row.nanoseconds);
    }
}

TEST_F(MetalPricingServiceTest, IntervalChangeRestartsARunningLoopOnlyWhenItChanges) {
    service->setRefreshInterval(5);  // idle: recorded only
    test::settle();
    EXPECT_EQ(polls(), 0);

    ASSERT_TRUE(startAndSleep());
    service->setRefreshInterval(0.2);
    ASSERT_TRUE(pollsReach(2));  // at once, no clock movement
    ASSERT_TRUE(waitForSleep());
    EXPECT_EQ(clock->requestedSleeps(), (std::vector<SleepDuration>{5s, 1s}));

    service->setRefreshInterval(1.0);
    service->setRefreshInterval(std::nan(""));
    test::settle();
    EXPECT_EQ(polls(), 2);
    EXPECT_EQ(clock->requestedSleeps().size(), 2u);

    service->setRefreshInterval(std::numeric_limits<double>::infinity());
    ASSERT_TRUE(waitUntil([&] { return polls() == 3 && clock->pendingSleeps() == 1; }));
    EXPECT_EQ(clock->requestedSleeps().back().count(), std::numeric_limits<std::uint64_t>::max());
}

TEST_F(MetalPricingServiceTest, CurrencyChangeRestartsPollingAtOnceInTheNewCurrency) {
    service->setCurrency(Currency::gbp);  // idle: recorded only
    test::settle();
    EXPECT_EQ(polls(), 0);

    ASSERT_TRUE(startAndSleep());
    service->start(Currency::eur);  // already polling: the currency is recorded, no second loop
    EXPECT_EQ(service->currentCurrency(), Currency::eur);
    service->setCurrency(Currency::eur);  // already current: no restart
    clock->advance(60s);
    ASSERT_TRUE(pollsReach(2));
    EXPECT_EQ(polls("USD"), 2);
    ASSERT_TRUE(waitForSleep());

    service->setCurrency(Currency::gbp);
    ASSERT_TRUE(pollsReach(1, "GBP"));
    ASSERT_TRUE(waitForSleep());
    clock->advance(60s);
    ASSERT_TRUE(pollsReach(2, "GBP"));
    EXPECT_EQ(polls("USD"), 2);
}

TEST_F(MetalPricingServiceTest, StopEndsTheSleepAndSnapshotsSurvive) {
    service->stop();  // no loop: nothing happens
    ASSERT_TRUE(startAndSleep());
    service->stop();
    EXPECT_FALSE(service->isPolling());
    EXPECT_EQ(clock->pendingSleeps(), 0u);
    clock->advance(600s);
    test::settle();
    EXPECT_EQ(polls(), 1);
    EXPECT_EQ(latest(Currency::usd).size(), 4u);

    service->start(Currency::usd);
    EXPECT_TRUE(pollsReach(2));
}

TEST_F(MetalPricingServiceTest, CancelledCycleStillLandsAndItsFailureIsLogged) {
    auto stream = service->live(Currency::usd);
    ASSERT_TRUE(startHeld());
    service->stop();
    server.release();
    ASSERT_TRUE(waitUntil([&] { return stream->hasPending(); }));
    EXPECT_EQ(latest(Currency::usd).size(), 4u);

    documents["USD"] = kHtml;
    ASSERT_TRUE(startHeld());
    service->setCurrency(Currency::eur);  // replaces the loop while the USD cycle is in flight
    mode = Server::Mode::normal;
    server.release();
    ASSERT_TRUE(waitUntil([&] { return !log.str().empty() && clock->pendingSleeps() == 1; }));
    EXPECT_EQ(log.str(), htmlFailureLine());
    test::settle();
    EXPECT_EQ(clock->pendingSleeps(), 1u);  // only the EUR loop sleeps
}

TEST_F(MetalPricingServiceTest, LiveStreamsPerCurrency) {
    auto early = service->live(Currency::usd);
    auto euro = service->live(Currency::eur);
    int announcements = 0;
    QObject::connect(early.get(), &LiveStreamBase::available, [&] { ++announcements; });

    service->start(Currency::usd);
    ASSERT_TRUE(waitUntil([&] { return announcements == 1; }));
    EXPECT_EQ(early->pendingCount(), 1u);
    EXPECT_FALSE(euro->hasPending());

    // A late subscriber gets the cached snapshot first, before any new cycle.
    auto late = service->live(Currency::usd);
    ASSERT_EQ(late->pendingCount(), 1u);
    EXPECT_EQ(*late->next(), latest(Currency::usd));

    service->setCurrency(Currency::eur);
    ASSERT_TRUE(waitUntil([&] { return euro->hasPending(); }));
    EXPECT_EQ(gold(*euro->next()), *Decimal::parse("2659.25"));
    EXPECT_FALSE(euro->hasPending());
    EXPECT_EQ(early->pendingCount(), 1u);

    // Another currency's new subscriber sees only that currency's cache.
    auto lateEuro = service->live(Currency::eur);
    EXPECT_EQ(lateEuro->pendingCount(), 1u);
    auto pound = service->live(Currency::gbp);
    test::settle();
    EXPECT_FALSE(pound->hasPending());
}

TEST_F(MetalPricingServiceTest, EndedStreamsStopReceivingWhileOthersGoOn) {
    auto hoarder = service->live(Currency::usd);  // never reads
    auto dropped = service->live(Currency::usd);
    auto* owner = new QObject;
    service->live(Currency::usd).release()->setParent(owner);

    ASSERT_TRUE(startAndSleep());
    dropped.reset();
    delete owner;
    for (int cycle = 2; cycle <= 3; ++cycle) {
        clock->advance(60s);
        ASSERT_TRUE(waitForSleep()) << cycle;
    }
    EXPECT_EQ(hoarder->pendingCount(), 3u);
}

TEST_F(MetalPricingServiceTest, DiscardedServiceLeavesNothingDangling) {
    auto stream = service->live(Currency::usd);
    ASSERT_TRUE(startHeld());
    service.reset();
    EXPECT_EQ(clock->pendingSleeps(), 0u);
    server.release();
    test::settle();
    EXPECT_FALSE(stream->hasPending());
    stream.reset();
}

TEST_F(MetalPricingServiceTest, HistoryAndDirectRefreshPassThroughUnchanged) {
    const auto history = [&](TimeRange range) {
        return await(service->history(MetalSeries::gold, range, Currency::usd, MetalUnit::gram));
    };
    const auto points = history(TimeRange::oneWeek);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].value(), Decimal(1000));
    EXPECT_EQ(points[2].value(), Decimal(1002));
    EXPECT_LT(points[0].timestamp(), points[1].timestamp());
    EXPECT_EQ(points[1].unit(), MetalUnit::gram);  // the requested unit, not the echoed one

    server.route("/v1/history", Server::Response{200, kHtml});
    EXPECT_THROW(history(TimeRange::oneDay), DecodingError);
    server.close();
    EXPECT_THROW(await(service->refresh(Currency::usd)), TransportError);
    EXPECT_TRUE(log.str().empty());  // only the loop logs
}

}  // namespace
}  // namespace mintlux
