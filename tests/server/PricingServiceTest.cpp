#include "LoadClient.h"
#include "LoopbackHttpServer.h"
#include "ServiceFixture.h"
#include "json/Iso8601.h"
#include "market/TradingCalendar.h"
#include "market/UnitConversion.h"
#include "net/Gzip.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/ServiceError.h"
#include "providers/FrankfurterDailyProvider.h"
#include "providers/GoldApiSpotProvider.h"
#include "providers/LbmaDailyProvider.h"
#include "providers/RecordedBody.h"
#include "providers/SwissquoteSpotProvider.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using test::dec;
using test::exchange;
using test::get;
using test::ServiceFixture;

constexpr auto kGold = MetalSeries::gold;

std::vector<server::SpotQuote> quotes(Instant at, const char* gold = "2800",
                                      const char* silver = "31") {
    return {{kGold, dec(gold), at}, {MetalSeries::silver, dec(silver), at}};
}

QJsonObject upstream(const QJsonObject& health, const QString& name) {
    for (const auto& u : health["upstreams"].toArray()) {
        if (u.toObject()["name"].toString() == name) {
            return u.toObject();
        }
    }
    return {};
}

double goldValue(const QJsonObject& prices) {
    return prices["prices"].toObject()["XAU"].toObject()["value"].toDouble();
}

QByteArray inflated(const QByteArray& gzip) {
    GzipDecoder decoder(64 * 1024 * 1024);
    decoder.feed(gzip);
    return decoder.finish() == GzipDecoder::State::ok ? decoder.output() : "(corrupt)";
}

class PricingServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        f.fx->rates = {QDate(2025, 1, 31),
                       {{Currency::eur, dec("0.9215")}, {Currency::aed, dec("9")}}};
        // The clock starts on Friday 2025-01-31 14:05:09 UTC; Thursday's close is the base.
        f.daily->closes = {{QDate(2025, 1, 29), dec("2760.5")},
                           {QDate(2025, 1, 30), dec("2795.25")}};
    }
    ServiceFixture f;
};

TEST_F(PricingServiceTest, AppClientReadsExactlyTheStoredDecimals) {
    f.clock->advance(261'646'994ns);
    // Silver is nine minutes old; the document's time is its newest price's.
    f.primary->quotes = {{kGold, dec("2801.123456789012345678901234567"), f.clock->now()},
                         {MetalSeries::silver, dec("31.5"), f.clock->now() - 9min}};
    f.start();
    HTTPPricingProxyClient client({QUrl("http://127.0.0.1:" + QString::number(f.port()) + "/")});

    const auto usd = test::await(client.fetchLatest(Currency::usd));
    EXPECT_EQ(usd.currency, "USD");
    EXPECT_FALSE(usd.stale);
    // Timestamps in milliseconds, always three digits: what common clients can read.
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(f.clock->now());
    EXPECT_EQ(usd.asOf, ms);
    EXPECT_TRUE(f.ask("/healthz").body.contains(":09.261Z\""));
    EXPECT_EQ(usd.prices.at("XAU").value, dec("2801.123456789012345678901234567"));
    EXPECT_EQ(usd.prices.at("XAU").prevClose, dec("2795.25"));
    EXPECT_EQ(usd.prices.at("XAU").unit, "troyOunce");
    EXPECT_FALSE(usd.prices.at("XAG").prevClose.has_value());
    EXPECT_FALSE(usd.prices.contains("XPT"));

    const auto eur = test::await(client.fetchLatest(Currency::eur));
    EXPECT_EQ(eur.prices.at("XAU").value, dec("2801.123456789012345678901234567") * dec("0.9215"));
    EXPECT_EQ(eur.prices.at("XAU").prevClose, dec("2795.25") * dec("0.9215"));
    // The dirham is pegged, whatever an upstream says.
    const auto aed = test::await(client.fetchLatest(Currency::aed));
    EXPECT_EQ(aed.prices.at("XAG").value, dec("31.5") * dec("3.6725"));

    const auto month = test::await(
        client.fetchHistory(kGold, TimeRange::oneMonth, Currency::eur, MetalUnit::gram));
    ASSERT_EQ(month.points.size(), 3u);
    EXPECT_EQ(month.points[0].v,
              UnitConversion::convertPrice(dec("2760.5"), MetalUnit::troyOunce, MetalUnit::gram) *
                  dec("0.9215"));
    EXPECT_EQ(month.points[2].t, ms);
    EXPECT_TRUE(
        f.ask("/v1/history?series=XAU&range=1M&currency=EUR&unit=gram").body.contains(".000Z\""));

    // Two minutes on, the document is as stale as its oldest price, though gold is not.
    f.clock->advance(2min);
    test::settle();
    EXPECT_TRUE(test::await(client.fetchLatest(Currency::usd)).stale);
    EXPECT_TRUE(f.askJson("/healthz")["stale"].toBool());
}

TEST_F(PricingServiceTest, FailingPrimaryFallsBackAndAllFailingServesLastKnownAsStale) {
    f.primary->error = "HTML instead of JSON";
    f.secondary->quotes = quotes(f.clock->now());
    f.start();

    EXPECT_EQ(goldValue(f.askJson("/v1/prices?currency=USD")), 2800);
    const auto health = f.ask("/healthz");
    EXPECT_EQ(health.status, 200);
    const QJsonObject h = QJsonDocument::fromJson(health.body).object();
    EXPECT_EQ(upstream(h, "primary")["consecutive_failures"].toInt(), 1);
    EXPECT_EQ(upstream(h, "primary")["last_error"].toString(), "HTML instead of JSON");
    EXPECT_TRUE(upstream(h, "primary")["last_success"].isNull());
    EXPECT_FALSE(upstream(h, "secondary")["last_success"].isNull());
    EXPECT_TRUE(h["database"].toObject()["ok"].toBool());

    // A stale answer from the one still answering is not a fresh price either.
    f.secondary->quotes = quotes(f.clock->now() - 1h, "1", "1");
    for (int i = 0; i < 20; ++i) {
        f.clock->advance(46s);
        test::settle(5ms);
    }
    EXPECT_GT(f.primary->calls, 1);
    EXPECT_LT(f.primary->calls, 20);  // backing off
    const QJsonObject prices = f.askJson("/v1/prices?currency=USD");
    EXPECT_TRUE(prices["stale"].toBool());
    EXPECT_EQ(goldValue(prices), 2800);
    const QJsonObject degraded = f.askJson("/healthz");
    EXPECT_EQ(degraded["status"].toString(), "degraded");
    EXPECT_GT(upstream(degraded, "secondary")["consecutive_failures"].toInt(), 0);
}

// The real daily providers against a loopback server answering with their recorded bodies:
// the LBMA first, Frankfurter next, and the service's own stored closes when both fail.
TEST(PricingServiceDailyTest, HistoryFallsBackAlongTheChainAndSaysWhere) {
    using Server = test::LoopbackHttpServer;
    using Closes = std::vector<server::DailyClose>;
    const Server::Response forbidden{403, "<html><body>Access denied</body></html>", "text/html"};
    const Server::Response lbma{200, test::recorded("lbma-gold-pm.json")};
    const Server::Response reference{200, test::recorded("frankfurter-v2-xau.json")};
    const Server::Response unavailable{503, "upstream connect error", "text/plain"};
    const Closes ownCloses{{{2025, 12, 4}, dec("4190.5")}, {{2025, 12, 5}, dec("4211.25")}};
    // From an earlier run.
    const std::pair<QString, Closes> none;
    const std::pair<QString, Closes> earlierLbma{
        "LBMA", {{{2025, 12, 1}, dec("4228.75")}, {{2025, 12, 2}, dec("4210")}}};
    const std::pair<QString, Closes> earlierReference{
        "Frankfurter", {{{2025, 12, 2}, dec("4208.62")}, {{2025, 12, 4}, dec("4193.1")}}};
    // Closes in December 2025. The LBMA's own gaps (a null, a zero) stay gaps: another source's
    // closes do not fill them.
    using Days = std::vector<std::pair<int, const char*>>;
    const Days lbmaDays{{1, "4228.75"}, {3, "4205.4"}, {5, "4212.85"}};
    const Days referenceDays{
        {1, "4231.4"}, {2, "4208.62"}, {3, "4206.0157"}, {4, "4193.1"}, {5, "4210.77"}};
    const Days continuedDays{
        {1, "4228.75"}, {2, "4210"}, {3, "4206.0157"}, {4, "4193.1"}, {5, "4210.77"}};
    const Days ownDays{{4, "4190.5"}, {5, "4211.25"}};
    struct Row {
        const char* name;
        Server::Response lbma;
        Server::Response frankfurter;
        std::pair<QString, Closes> stored;
        QString upstream;  // the one that answered; empty for none
        Days month;        // the 1M closes, then the newest quote
        QString sources;   // of the 1M runs, oldest first
    };
    const Row rows[] = {
        {"LBMA answers", lbma, forbidden, earlierReference, "LBMA", lbmaDays, "LBMA, newest quote"},
        {"LBMA forbidden", forbidden, reference, none, "Frankfurter", referenceDays,
         "Frankfurter, newest quote"},
        // What the LBMA gave before it started refusing stays; Frankfurter only continues it.
        {"LBMA forbidden after earlier closes", forbidden, reference, earlierLbma, "Frankfurter",
         continuedDays, "LBMA, Frankfurter, newest quote"},
        {"both failing", forbidden, unavailable, none, "", ownDays,
         "recorded closes, newest quote"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Outlives the service: its replies still running when the service goes are aborted.
        QNetworkAccessManager network;
        ServiceFixture f;
        f.clock->set(*Iso8601::parse("2025-12-08T15:00:00Z"));  // a Monday, gold polled first
        f.primary->quotes = {{kGold, dec("4215.5"), f.clock->now()}};
        {
            server::SqliteStore earlier(f.dir.filePath(QStringLiteral("p.sqlite")));
            earlier.saveCloses(kGold, server::PricingStore::recordedCloses(), ownCloses);
            earlier.saveCloses(kGold, row.stored.first, row.stored.second);
        }
        Server upstreams;
        upstreams.route("/lbma/gold_pm.json", row.lbma);
        upstreams.route("/fx/rates", [&](const Server::Request& r) {
            return r.queryItem("base") == "XAU" ? row.frankfurter : Server::Response{404};
        });
        const QUrl base = upstreams.baseUrl();
        f.providers.daily.clear();
        f.providers.daily.push_back(
            std::make_unique<server::LbmaDailyProvider>(network, base.resolved(QUrl("lbma/")), 2s));
        f.providers.daily.push_back(std::make_unique<server::FrankfurterDailyProvider>(
            network, base.resolved(QUrl("fx/")), 2s));
        f.start();
        ASSERT_TRUE(test::waitUntil(
            [&] { return f.service->poller().dailyRounds()[0].finished.has_value(); }));

        const auto month = Json::decode<HistoryResponse>(
            f.ask("/v1/history?series=XAU&range=1M&currency=USD&unit=troyOunce").body);
        std::vector<HistoryResponse::HistoryPoint> expected;
        for (const auto& [day, close] : row.month) {
            expected.push_back({server::TradingCalendar::closeOf({2025, 12, day}), dec(close)});
        }
        expected.push_back({f.clock->now(), dec("4215.5")});
        EXPECT_EQ(month.points, expected);

        const QJsonObject h = f.askJson("/healthz");
        const QJsonObject gold = h["history"].toObject()["XAU"].toObject();
        EXPECT_EQ(gold["upstream"].toString(), row.upstream);
        EXPECT_EQ(gold["fallback"].toBool(), row.upstream.isEmpty());
        QStringList sources;
        for (const auto& run : gold["ranges"].toObject()["1M"].toArray()) {
            sources << run.toObject()["source"].toString();
        }
        EXPECT_EQ(sources.join(", "), row.sources);
        const QString lbmaError = upstream(h, "LBMA")["last_error"].toString();
        EXPECT_EQ(lbmaError.contains("answered HTTP 403"), row.lbma.status == 403)
            << lbmaError.toStdString();
        const QString frankfurterError = upstream(h, "Frankfurter")["last_error"].toString();
        EXPECT_EQ(frankfurterError.contains("answered HTTP 503"), row.frankfurter.status == 503)
            << frankfurterError.toStdString();
        // Asked only after the LBMA failed, and then for the whole series.
        EXPECT_EQ(upstreams.targets().count("/fx/rates?base=XAU&quotes=USD&from=1999-01-01"),
                  row.lbma.status == 403 ? 1 : 0);
    }
}

// Nothing is quoted while the primary hangs: an error, not an invented price.
TEST_F(PricingServiceTest, AnUpstreamThatNeverAnswersIsGivenUpOn) {
    f.primary->hang = true;
    f.secondary->quotes = quotes(f.clock->now());
    f.start();
    EXPECT_EQ(f.secondary->calls, 0);
    const auto nothingYet = f.ask("/v1/prices?currency=USD");
    EXPECT_EQ(nothingYet.status, 503);
    EXPECT_TRUE(QJsonDocument::fromJson(nothingYet.body)["error"].isString());
    f.clock->advance(31s);
    test::settle();
    EXPECT_EQ(f.secondary->calls, 1);
    EXPECT_EQ(upstream(f.askJson("/healthz"), "primary")["last_error"].toString(),
              "no answer within 30 s");
    EXPECT_EQ(f.ask("/v1/prices?currency=USD").status, 200);
}

// A first run with no upstream to be had: the refusal says why, and the app shows it whole.
TEST(PricingServiceFirstRunTest, TheErrorNamesEachFailingUpstreamAndItsCause) {
    using Server = test::LoopbackHttpServer;
    struct Row {
        const char* name;
        std::optional<Server::Response> swissquote;  // none: nothing listens
        std::optional<Server::Response> goldApi;     // none: a host that does not resolve
        QString prices;
    };
    const Row rows[] = {
        {"unreachable", std::nullopt, std::nullopt,
         "no prices recorded yet (Swissquote: connection refused; gold-api.com: host not found)"},
        {"answering uselessly", Server::Response{429, "slow down", "text/plain"},
         Server::Response{200, "<html>maintenance</html>", "text/html"},
         "no prices recorded yet (Swissquote: HTTP 429; gold-api.com: sent text/html)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QNetworkAccessManager network;  // outlives the service and its replies
        ServiceFixture f;
        Server swissquote;
        Server goldApi;
        QUrl swissquoteUrl = swissquote.baseUrl();
        QUrl goldApiUrl = goldApi.baseUrl();
        for (const MetalSeries metal : MetalSeries::allCases()) {
            const QByteArray code = metal.rawValue().toLatin1();
            if (row.swissquote) {
                swissquote.route("/" + code + "/USD", *row.swissquote);
            }
            if (row.goldApi) {
                goldApi.route("/" + code, *row.goldApi);
            }
        }
        if (!row.swissquote) {
            swissquote.close();
        }
        if (!row.goldApi) {
            goldApiUrl = QUrl(QStringLiteral("http://mintlux-upstream.invalid/"));
        }
        f.providers.spot.clear();
        f.providers.spot.push_back(
            std::make_unique<server::SwissquoteSpotProvider>(network, swissquoteUrl, 2s));
        f.providers.spot.push_back(
            std::make_unique<server::GoldApiSpotProvider>(network, goldApiUrl, 2s));
        f.start();
        ASSERT_TRUE(test::waitUntil([&] {
            const auto health = f.service->poller().health();
            return std::all_of(health.begin(), health.end(), [](const server::ProviderHealth& h) {
                return h.kind != "spot" || h.consecutiveFailures > 0;
            });
        }));

        const QString noRate =
            "no exchange rate for EUR yet (fx-double: no usable rates in the "
            "answer)";
        for (const auto& [target, message] :
             {std::pair{QByteArray("/v1/prices?currency=USD"), row.prices},
              std::pair{QByteArray("/v1/prices?currency=EUR"), noRate},
              std::pair{QByteArray("/v1/history?series=XAU&range=1M&currency=EUR&unit=gram"),
                        noRate}}) {
            const auto answer = f.ask(target);
            EXPECT_EQ(answer.status, 503) << target.toStdString();
            EXPECT_EQ(QJsonDocument::fromJson(answer.body)["error"].toString(), message);
        }
        HTTPPricingProxyClient client({QUrl("http://127.0.0.1:" + QString::number(f.port()))});
        try {
            test::await(client.fetchLatest(Currency::usd));
            ADD_FAILURE() << "prices without an upstream";
        } catch (const ServiceError& e) {
            EXPECT_EQ(e.message(), row.prices);
        }
    }
}

// Whatever the upstreams' names and errors, the text fits what the app shows unabridged.
TEST(PricingServiceFirstRunTest, CausesAreShortPrintableAndBounded) {
    const auto spot = [](QString name, QString cause, int failures = 1) {
        return server::ProviderHealth{std::move(name),  "spot",   {}, {}, {},
                                      std::move(cause), failures, {}};
    };
    const QString prefix = "no prices recorded yet";
    std::vector<server::ProviderHealth> many;
    for (int i = 0; i < 12; ++i) {
        many.push_back(spot("upstream-" + QString::number(i), "connection refused"));
    }
    struct Row {
        const char* name;
        std::vector<server::ProviderHealth> upstreams;
        QString expected;  // empty: checked for bounds only
    };
    const Row rows[] = {
        {"none configured", {}, prefix + " (no spot upstream configured)"},
        {"none failed yet", {spot("A", "", 0), {"B", "fx", {}, {}, {}, "x", 1, {}}}, prefix},
        {"control characters and long texts",
         {spot("Bad\x01\tName", "line\none\x7f"), spot(QString(40, u'n'), QString(90, u'c'))},
         prefix + " (Bad Name: line one; " + QString(23, u'n') + QChar(0x2026) + ": " +
             QString(47, u'c') + QChar(0x2026) + ")"},
        {"more than fit", many, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString text = server::PriceDocuments::withCauses(prefix, row.upstreams, "spot");
        if (!row.expected.isEmpty()) {
            EXPECT_EQ(text, row.expected);
        }
        EXPECT_LE(text.size(), ServiceError::kMaxMessageLength);
        const auto shown =
            ServiceError::fromAnswer(503, server::PriceDocuments::errorJson(text.toStdString()));
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->message(), text);
    }
    const QString crowded = server::PriceDocuments::withCauses(prefix, many, "spot");
    EXPECT_TRUE(crowded.startsWith(prefix + " (upstream-0: connection refused; upstream-1: "));
    EXPECT_TRUE(crowded.endsWith(" more)")) << crowded.toStdString();
}

// Both documents as caches and compressing clients see them: validators, a lifetime that ends
// when the next upstream round or staleness could change them, 304 for what a client holds, and
// gzip for whoever takes it.
TEST_F(PricingServiceTest, DocumentsAreCacheableRevalidatedAndCompressed) {
    // Silver turns stale in 20 s, before the next spot round in 45 s.
    for (const MetalSeries metal : MetalSeries::allCases()) {
        f.primary->quotes.push_back({metal, dec("2800.125"), f.clock->now()});
    }
    f.primary->quotes[1].asOf -= 9min + 40s;
    for (int day = 1; day < 365; ++day) {
        f.daily->closes.push_back({QDate(2024, 1, 31).addDays(day), dec("2600.5") + day});
    }
    f.start();
    const QByteArray prices = "/v1/prices?currency=USD";
    const QByteArray history = "/v1/history?series=XAU&range=1Y&currency=USD&unit=gram";
    for (const auto& [target, maxAge] : {std::pair{prices, "20"}, std::pair{history, "45"}}) {
        SCOPED_TRACE(target.toStdString());
        const auto plain = f.ask(target);
        const auto packed = exchange(f.port(), get(target, "Accept-Encoding: gzip\r\n"));
        EXPECT_EQ(plain.header("Cache-Control"), "public, max-age=" + QByteArray(maxAge));
        EXPECT_EQ(plain.header("Vary"), "Accept-Encoding");
        EXPECT_EQ(plain.header("Content-Encoding"), "");
        EXPECT_EQ(packed.header("Content-Encoding"), "gzip");
        EXPECT_LT(packed.body.size(), plain.body.size());
        EXPECT_EQ(inflated(packed.body), plain.body);
        const QByteArray tag = plain.header("ETag");
        const QByteArray gzipTag = packed.header("ETag");
        EXPECT_TRUE(tag.startsWith('"') && tag.endsWith('"')) << tag.toStdString();
        EXPECT_NE(tag, gzipTag);

        struct Row {
            QByteArray fields;
            int status;
            QByteArray etag;  // of the answer
            bool gzip;
        };
        const Row rows[] = {
            {"If-None-Match: " + tag, 304, tag, false},
            {"If-None-Match: W/" + tag, 304, tag, false},
            {"If-None-Match: \"other\", " + gzipTag + "\r\nAccept-Encoding: gzip", 304, gzipTag,
             false},
            // Holding the other encoding's copy is as good.
            {"If-None-Match: " + tag + "\r\nAccept-Encoding: gzip", 304, tag, false},
            {"If-None-Match: *", 304, tag, false},
            {"If-None-Match: \"other\"", 200, tag, false},
            {"Accept-Encoding: gzip;q=0, br", 200, tag, false},
            {"Accept-Encoding: deflate, *;q=0.5", 200, gzipTag, true},
            {"Accept-Encoding: *, gzip;q=0.000", 200, tag, false},
            {"Accept-Encoding: x-gzip", 200, gzipTag, true},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.fields.toStdString());
            const auto answer = exchange(f.port(), get(target, row.fields + "\r\n"));
            EXPECT_EQ(answer.status, row.status);
            EXPECT_EQ(answer.header("ETag"), row.etag);
            EXPECT_EQ(answer.header("Cache-Control"), plain.header("Cache-Control"));
            EXPECT_EQ(answer.header("Content-Encoding"), row.gzip ? "gzip" : "");
            EXPECT_EQ(answer.body, row.status == 304 ? "" : row.gzip ? packed.body : plain.body);
            EXPECT_EQ(answer.head.contains("Content-Length"), row.status != 304);
        }
    }
    // Refusals and the health document are never kept.
    for (const QByteArray& target : {QByteArray("/healthz"), QByteArray("/v1/prices?currency=GBP"),
                                     QByteArray("/v1/prices?currency=usd"), QByteArray("/")}) {
        const auto answer = exchange(f.port(), get(target, "Accept-Encoding: gzip\r\n"));
        EXPECT_EQ(answer.header("Cache-Control"), "no-store") << target.toStdString();
        EXPECT_EQ(answer.header("ETag"), "") << target.toStdString();
    }

    // Stale now; what is left until the next round bounds both.
    f.clock->advance(30s);
    test::settle();
    const auto stale = f.ask(prices);
    EXPECT_TRUE(QJsonDocument::fromJson(stale.body)["stale"].toBool());
    EXPECT_EQ(stale.header("Cache-Control"), "public, max-age=15");
    EXPECT_EQ(f.ask(history).header("Cache-Control"), "public, max-age=15");
    // The round brings a new price: what clients hold is no longer current.
    f.primary->quotes = quotes(f.clock->now() + 15s, "2810");
    f.clock->advance(15s);
    test::settle();
    const auto changed =
        exchange(f.port(), get(prices, "If-None-Match: " + stale.header("ETag") + "\r\n"));
    EXPECT_EQ(changed.status, 200);
    EXPECT_EQ(goldValue(QJsonDocument::fromJson(changed.body).object()), 2810);
    EXPECT_EQ(changed.header("Cache-Control"), "public, max-age=45");
}

TEST_F(PricingServiceTest, MalformedAndOversizedRequestsGetCleanErrors) {
    f.primary->quotes = quotes(f.clock->now());
    f.start();
    QByteArray manyHeaders = "GET /v1/prices?currency=USD HTTP/1.1\r\n";
    for (int i = 0; i < 400; ++i) {
        manyHeaders += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(40, 'b') + "\r\n";
    }
    // Whole requests, then GET targets by the status they get.
    std::vector<std::pair<QByteArray, int>> cases = {
        {"POST /v1/prices?currency=USD HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", 405},
        {"DELETE /healthz HTTP/1.1\r\n\r\n", 405},
        {"GET /v1/prices?currency=USD\r\n\r\n", 400},
        {"GET  /v1/prices HTTP/1.1\r\n\r\n", 400},
        {"GET v1/prices HTTP/1.1\r\n\r\n", 400},
        {"GET /v1/prices?currency=USD HTTP/2.0\r\n\r\n", 505},
        {"GET /v1/prices?currency=USD HTTP/1.1\r\nno colon here\r\n\r\n", 400},
        {"GET /v1/prices?currency=USD HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
        {"\x01\x02garbage\r\n\r\n", 400},
        {manyHeaders + "\r\n", 431},
        // A line that never ends is cut off once it is too long, not buffered for ever.
        {"GET /" + QByteArray(64 * 1024, 'c'), 414},
    };
    const std::pair<int, QByteArrayList> targets[] = {
        {200,
         {"/v1/prices?currency=USD", "/v1/prices?currency=US%44",
          "/v1/history?series=XAU&range=1W&currency=USD&unit=gram"}},
        {400,
         {"/v1/prices", "/v1/prices?currency=", "/v1/prices?currency", "/v1/prices?currency=usd",
          "/v1/prices?currency=USD%20", "/v1/prices?currency=%ZZ", "/v1/prices?currency=US%4",
          "/v1/prices?currency=USD&currency=EUR", "/v1/prices?currency=USD&extra=1",
          "/v1/prices?currency=USD&", "/v1/history?range=1W&currency=USD&unit=gram",
          "/v1/history?series=XAU&currency=USD&unit=gram",
          "/v1/history?series=XAU&range=1W&unit=gram",
          "/v1/history?series=XAU&range=1W&currency=USD",
          "/v1/history?series=xau&range=1W&currency=USD&unit=gram",
          "/v1/history?series=XAU&range=1w&currency=USD&unit=gram",
          "/v1/history?series=XAU&range=1W&currency=USD&unit=grams",
          "/v1/history?series=XAU&range=1W&currency=USD&unit=gram&unit=kilo",
          "/healthz?verbose=1"}},
        {404, {"/v1/prices/?currency=USD", "/v2/prices?currency=USD", "/"}},
        {414, {"/v1/prices?currency=USD&pad=" + QByteArray(10 * 1024, 'a')}},
    };
    for (const auto& [status, list] : targets) {
        for (const QByteArray& target : list) {
            cases.emplace_back(get(target), status);
        }
    }
    for (const auto& [request, status] : cases) {
        SCOPED_TRACE(request.left(80).toStdString());
        const auto answer = exchange(f.port(), request);
        EXPECT_EQ(answer.status, status);
        const QJsonDocument body = QJsonDocument::fromJson(answer.body);
        EXPECT_TRUE(body.isObject());
        EXPECT_EQ(body["error"].isString(), status >= 400);
        EXPECT_EQ(answer.head.contains("Allow: GET, HEAD"), status == 405);
    }
}

TEST(PricingServiceLimitsTest, SlowHeadersTimeOutWhileOthersAreServed) {
    server::HttpServer::Limits limits;
    limits.headerTimeout = 300ms;
    ServiceFixture f(limits);
    f.primary->quotes = quotes(f.clock->now());
    f.start();

    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, f.port());
    slow.write("GET /v1/prices?currency=USD HTTP/1.1\r\n");
    QByteArray pending;
    // A byte every 50 ms keeps the connection busy but never finishes the headers.
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [&] { slow.write("X"); });
    drip.start(50);
    EXPECT_EQ(f.ask("/v1/prices?currency=USD").status, 200);
    const auto answer = test::readAnswer(slow, pending, 3s);
    EXPECT_EQ(answer.status, 408);
    EXPECT_TRUE(test::waitUntil([&] { return slow.state() == QAbstractSocket::UnconnectedState; }));
}

TEST(PricingServiceLimitsTest, ConcurrentPipelinedClientsAllGetTheirAnswersWithinTheCap) {
    server::HttpServer::Limits limits;
    limits.maxConnections = 8;
    ServiceFixture f(limits);
    f.primary->quotes = quotes(f.clock->now());
    f.start();
    const QByteArray expected = f.ask("/v1/prices?currency=USD").body;

    constexpr int kClients = 24;
    constexpr int kRequests = 20;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    QByteArray burst;
    for (int i = 0; i < kRequests - 1; ++i) {
        burst += get(i % 2 ? "/v1/prices?currency=USD"
                           : "/v1/history?series=XAU&range=1D&currency=USD&unit=kilo");
    }
    burst += "GET /v1/prices?currency=USD HTTP/1.1\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, f.port());
        clients.back()->write(burst);
    }
    // The last request closes each connection, so a closed socket holds all its answers.
    int most = 0;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            most = std::max(most, f.service->http().connectionCount());
            return std::all_of(clients.begin(), clients.end(), [](const auto& c) {
                return c->state() == QAbstractSocket::UnconnectedState;
            });
        },
        10s));
    EXPECT_LE(most, 8);
    for (const auto& c : clients) {
        const QByteArray answers = c->readAll();
        EXPECT_EQ(answers.count("HTTP/1.1 200 OK"), kRequests);
        EXPECT_TRUE(answers.endsWith(expected));
    }
}

// Far more clients than connections: they wait for a slot and get it in turn, as connections
// that finish an answer make way. Nobody is reset or left unanswered.
TEST(PricingServiceLimitsTest, FarMoreClientsThanTheCapAreAllAnsweredInTurn) {
    constexpr int kClients = 1500;
    if (!test::openFilesFor(2 * kClients + 256)) {
        GTEST_SKIP() << "the hard limit on open files is below " << 2 * kClients + 256;
    }
    ServiceFixture f;
    f.primary->quotes = quotes(f.clock->now());
    for (int day = 1; day < 365; ++day) {
        f.daily->closes.push_back({QDate(2024, 1, 31).addDays(day), dec("2600.5") + day});
    }
    f.start();
    const QByteArray prices = get("/v1/prices?currency=USD");
    const QByteArray history =
        get("/v1/history?series=XAU&range=1Y&currency=USD&unit=gram", "Accept-Encoding: gzip\r\n");
    const QByteArrayList expected = {
        f.ask("/v1/prices?currency=USD").body,
        f.ask("/v1/history?series=XAU&range=1Y&currency=USD&unit=gram").body};
    test::LoadClient load(
        f.port(), {prices, history}, [&](int request, const test::RawAnswer& answer) -> QString {
            const QByteArray body =
                answer.header("Content-Encoding") == "gzip" ? inflated(answer.body) : answer.body;
            return answer.status == 200 && body == expected[request]
                       ? QString()
                       : QString::fromLatin1(answer.head);
        });
    int most = 0;
    std::size_t waiting = 0;
    const auto result = load.run(kClients, 3, 60s, [&] {
        most = std::max(most, f.service->http().connectionCount());
        waiting = std::max(waiting, f.service->http().waitingCount());
    });
    EXPECT_EQ(result.errors.mid(0, 5), QStringList());
    EXPECT_EQ(result.answers, 3 * kClients);
    EXPECT_LE(most, server::HttpServer::Limits().maxConnections);
    EXPECT_GT(waiting, 0u);
    EXPECT_GT(result.closes, 0);
}

TEST(PricingServiceProcessTest, KilledDemoServiceKeepsWhatItServed) {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("demo.sqlite"));
    QProcess service;
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(QStringLiteral(MINTLUX_PRICING_BINARY),
                  {"--source", "synthetic", "--db", db, "--listen", "127.0.0.1:0"});
    QByteArray log;
    quint16 port = 0;
    ASSERT_TRUE(test::waitUntil([&] {
        log += service.readAll();
        const auto at = log.indexOf("listening on 127.0.0.1:");
        port = at < 0 ? 0 : log.mid(at + 23).split(',').first().toUShort();
        return port != 0;
    })) << log.toStdString();
    // After the first poll the next one is 45 s away, so what is served now is what is stored.
    ASSERT_TRUE(test::waitUntil([&] {
        const auto health = QJsonDocument::fromJson(exchange(port, get("/healthz")).body);
        return !upstream(health.object(), "synthetic")["last_success"].isNull();
    }));
    const QByteArray served = exchange(port, get("/v1/prices?currency=USD")).body;
    service.kill();  // SIGKILL: no chance to close anything
    service.waitForFinished();

    const auto doc = Json::decode<LatestPricesResponse>(served);
    server::SqliteStore store(db);
    const auto stored = store.latestQuotes();
    ASSERT_EQ(stored.size(), 4u);
    for (const server::SpotQuote& q : stored) {
        EXPECT_EQ(doc.prices.at(q.metal.rawValue()).value, q.usdPerOunce);
    }
    EXPECT_EQ(store.metaValue(QStringLiteral("source")), QStringLiteral("synthetic"));
}

}  // namespace
}  // namespace mintlux
