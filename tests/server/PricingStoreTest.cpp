#include "DecimalTesting.h"
#include "FakeClock.h"
#include "market/MarketRecorder.h"
#include "market/TradingCalendar.h"
#include "storage/SqliteStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using server::MarketRecorder;
using server::SqliteStore;
using test::dec;

constexpr auto kGold = MetalSeries::gold;

Instant at(const char* isoUtc) {
    const QDateTime t = QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODate);
    return Instant(std::chrono::milliseconds(t.toMSecsSinceEpoch()));
}

TEST(TradingCalendarTest, SessionsEndAt17NewYorkTimeAndSkipWeekends) {
    const struct {
        const char* instant;
        QDate day;
    } cases[] = {
        {"2025-01-31T21:59:59Z", {2025, 1, 31}},  // Friday 16:59:59 EST
        {"2025-01-31T22:00:00Z", {2025, 2, 3}},   // Friday's close: Monday's session
        {"2025-02-01T12:00:00Z", {2025, 2, 3}},   // Saturday
        {"2025-02-03T05:00:00Z", {2025, 2, 3}},   // Monday 00:00 EST
        {"2025-07-01T20:59:00Z", {2025, 7, 1}},   // Tuesday 16:59 EDT
        {"2025-07-01T21:00:00Z", {2025, 7, 2}},   // Tuesday 17:00 EDT
    };
    for (const auto& c : cases) {
        EXPECT_EQ(server::TradingCalendar::tradingDayOf(at(c.instant)), c.day) << c.instant;
    }
    EXPECT_EQ(server::TradingCalendar::closeOf({2025, 7, 1}), at("2025-07-01T21:00:00Z"));
}

class RecorderTest : public ::testing::Test {
protected:
    std::unique_ptr<SqliteStore> open() { return std::make_unique<SqliteStore>(dbPath()); }
    QString dbPath() const { return dir.filePath(QStringLiteral("p.sqlite")); }
    // Writes a database file as an earlier or later version would have left it.
    void prepare(const char* sql) const {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dbPath().toUtf8().constData(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    QTemporaryDir dir;
    std::shared_ptr<test::FakeClock> clock =
        std::make_shared<test::FakeClock>(at("2025-02-04T15:00:00Z"));
};

TEST_F(RecorderTest, ClosesAtTheLastQuoteBeforeTheBoundaryAndSurvivesARestart) {
    {
        auto store = open();
        MarketRecorder r(*store, clock);
        r.load();
        r.applyDailyCloses(kGold, "LBMA",
                           {{{2025, 1, 30}, dec("2790")}, {{2025, 1, 31}, dec("2800")}});
        r.applySpot({{kGold, dec("2810.5"), at("2025-02-03T21:58:00Z")},     // Monday 16:58
                     {kGold, dec("2811.25"), at("2025-02-03T21:59:30Z")}});  // same 5-min slot
        r.applySpot({{kGold, dec("2820"), at("2025-02-03T22:01:00Z")}});     // Tuesday's session
        // Our own close is newer than the upstream's Friday one, so it is the base.
        EXPECT_EQ(r.previousClose(kGold), dec("2811.25"));
        // An older quote from a lagging upstream does not go back in time.
        EXPECT_EQ(r.applySpot({{kGold, dec("1"), at("2025-02-03T21:00:00Z")}}), 0);
        // Down from Tuesday noon to Wednesday: Tuesday has no close of ours.
        r.applySpot({{kGold, dec("2830"), at("2025-02-04T17:00:00Z")}});
        r.applySpot({{kGold, dec("2840"), at("2025-02-05T15:00:00Z")}});
        EXPECT_EQ(r.previousClose(kGold), dec("2811.25"));
    }
    auto store = open();
    MarketRecorder r(*store, clock);
    r.load();
    EXPECT_EQ(r.latest(kGold)->usdPerOunce, dec("2840"));
    EXPECT_EQ(r.latest(kGold)->asOf, at("2025-02-05T15:00:00Z"));
    EXPECT_EQ(r.previousClose(kGold), dec("2811.25"));
    const auto week = r.history(kGold, TimeRange::oneWeek);
    ASSERT_EQ(week.size(), 4u);                     // the last quote of each hour
    EXPECT_EQ(week[0].usdPerOunce, dec("2810.5"));  // a slot keeps its first quote
    EXPECT_EQ(week[1].usdPerOunce, dec("2820"));
    // Upstream closes, then our own for the days after them, then the newest quote.
    const auto month = r.history(kGold, TimeRange::oneMonth);
    ASSERT_EQ(month.size(), 4u);  // no close for Tuesday
    EXPECT_EQ(month[1].usdPerOunce, dec("2800"));
    EXPECT_EQ(month[2].t, server::TradingCalendar::closeOf({2025, 2, 3}));
    EXPECT_EQ(month[2].usdPerOunce, dec("2811.25"));
}

TEST_F(RecorderTest, KeepsNineDaysOfQuotesAndCarriesRatesForward) {
    auto store = open();
    MarketRecorder r(*store, clock);
    r.load();
    r.applySpot({{kGold, dec("2700"), clock->now() - 10 * 24h}});
    r.applySpot({{kGold, dec("2750"), clock->now() - 8 * 24h}});
    r.applySpot({{kGold, dec("2800"), clock->now()}});
    EXPECT_EQ(store->recordedQuotes(kGold, Instant{}).size(), 2u);

    r.applyFx({{2025, 2, 3}, {{Currency::eur, dec("0.96")}, {Currency::inr, dec("86.6")}}});
    r.applyFx({{2025, 2, 4}, {{Currency::eur, dec("0.97")}}});
    r.applyFx({{2025, 2, 1}, {{Currency::eur, dec("5")}}});  // older than what we hold
    EXPECT_EQ(r.perUsd(Currency::eur), dec("0.97"));
    EXPECT_EQ(r.perUsd(Currency::inr), dec("86.6"));
    EXPECT_FALSE(r.perUsd(Currency::gbp).has_value());
    EXPECT_EQ(store->latestFxRates()->perUsd.at(Currency::inr), dec("86.6"));
}

TEST_F(RecorderTest, MigratesAVersionOneFile) {
    prepare(R"sql(
        CREATE TABLE schema_version (version INTEGER NOT NULL);
        INSERT INTO schema_version VALUES (1);
        CREATE TABLE quotes (metal TEXT NOT NULL, as_of_ns INTEGER NOT NULL, usd_per_oz TEXT NOT NULL,
                             PRIMARY KEY (metal, as_of_ns));
        CREATE TABLE closes (metal TEXT NOT NULL, day TEXT NOT NULL, usd_per_oz TEXT NOT NULL,
                             PRIMARY KEY (metal, day));
        CREATE TABLE fx_rates (day TEXT NOT NULL, currency TEXT NOT NULL, per_usd TEXT NOT NULL,
                               PRIMARY KEY (day, currency));
        INSERT INTO quotes VALUES ('XAU', 1000, '2700.1'), ('XAU', 2000, '2700.2');
        INSERT INTO closes VALUES ('XAU', '2025-01-31', '2699.9');
        INSERT INTO fx_rates VALUES ('2025-01-31', 'EUR', '0.96');
    )sql");
    auto store = open();
    EXPECT_EQ(store->schemaVersion(), SqliteStore::kSchemaVersion);
    const auto latest = store->latestQuotes();
    ASSERT_EQ(latest.size(), 1u);
    EXPECT_EQ(latest[0].usdPerOunce, dec("2700.2"));
    const auto closes = store->closes(kGold, "recorded");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].usdPerOunce, dec("2699.9"));
    EXPECT_EQ(store->closeSources(kGold), std::vector<QString>{"recorded"});
    EXPECT_EQ(store->latestFxRates()->perUsd.at(Currency::eur), dec("0.96"));
    store.reset();
    EXPECT_EQ(open()->schemaVersion(), SqliteStore::kSchemaVersion);  // nothing left to do
}

// Version 2 had one upstream for closes, the LBMA; its closes keep their name.
TEST_F(RecorderTest, MigratesAVersionTwoFile) {
    prepare(R"sql(
        CREATE TABLE schema_version (version INTEGER NOT NULL);
        INSERT INTO schema_version VALUES (2);
        CREATE TABLE daily_closes (metal TEXT NOT NULL, day TEXT NOT NULL, source TEXT NOT NULL,
                                   usd_per_oz TEXT NOT NULL, PRIMARY KEY (metal, source, day));
        INSERT INTO daily_closes VALUES ('XAU', '2025-01-30', 'upstream', '2790'),
                                        ('XAU', '2025-01-31', 'recorded', '2801');
    )sql");
    auto store = open();
    EXPECT_EQ(store->closes(kGold, "LBMA"),
              (std::vector<server::DailyClose>{{{2025, 1, 30}, dec("2790")}}));
    EXPECT_EQ(store->closes(kGold, "recorded").size(), 1u);
    EXPECT_TRUE(store->closes(kGold, "upstream").empty());
}

TEST_F(RecorderTest, TheDatabaseIsTheUsersAlone) {
    const mode_t umaskWas = ::umask(022);
    const QString path = dir.filePath(QStringLiteral("new/p.sqlite"));
    {
        SqliteStore store(path);
        store.saveLatestQuote({kGold, dec("2700"), clock->now()});
        const std::pair<QString, unsigned> modes[] = {
            {path, 0600}, {path + "-wal", 0600}, {dir.filePath("new"), 0700}};
        for (const auto& [file, mode] : modes) {
            struct stat st {};
            ASSERT_EQ(::stat(file.toUtf8().constData(), &st), 0) << file.toStdString();
            EXPECT_EQ(st.st_mode & 0777, mode) << file.toStdString();
        }
    }
    ::umask(umaskWas);
}

TEST_F(RecorderTest, RefusesAFileFromANewerVersion) {
    prepare(
        "CREATE TABLE schema_version (version INTEGER NOT NULL);"
        "INSERT INTO schema_version VALUES (99);");
    EXPECT_THROW(open(), server::StoreError);
}

}  // namespace
}  // namespace mintlux
