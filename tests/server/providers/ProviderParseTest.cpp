#include "DecimalTesting.h"
#include "RecordedBody.h"
#include "json/Iso8601.h"
#include "providers/EcbFxProvider.h"
#include "providers/FrankfurterDailyProvider.h"
#include "providers/FrankfurterFxProvider.h"
#include "providers/GoldApiSpotProvider.h"
#include "providers/LbmaDailyProvider.h"
#include "providers/SwissquoteSpotProvider.h"

#include <functional>

#include <gtest/gtest.h>

namespace mintlux::server {

inline void PrintTo(const SpotQuote& q, std::ostream* os) {
    *os << q.metal.rawValue().toStdString() << ' ' << q.usdPerOunce.toString() << " @ "
        << Iso8601::format(q.asOf);
}

namespace {

using test::dec;
using test::recorded;

Instant at(const char* iso) {
    return *Iso8601::parse(iso);
}

auto swissquote(MetalSeries metal) {
    return [metal](QByteArrayView body) { return SwissquoteSpotProvider::parse(body, metal); };
}

auto goldApi(MetalSeries metal) {
    return [metal](QByteArrayView body) { return GoldApiSpotProvider::parse(body, metal); };
}

TEST(ProviderParse, SpotQuotesKeepTheUpstreamDigitsAndTime) {
    struct Row {
        const char* file;
        std::function<SpotQuote(QByteArrayView)> parse;
        SpotQuote expected;
    };
    const Row rows[] = {
        // The newest platform (AT) and its tightest profile (prime): (4201.55 + 4201.85) / 2.
        {"swissquote-xau.json",
         swissquote(MetalSeries::gold),
         {MetalSeries::gold, dec("4201.70"), at("2025-12-05T15:59:59.512Z")}},
        // A week-old quote keeps its own time: staleness is the service's judgement.
        {"swissquote-xag-stale.json",
         swissquote(MetalSeries::silver),
         {MetalSeries::silver, dec("57.3365"), at("2025-11-29T00:00:00Z")}},
        {"goldapi-xau.json",
         goldApi(MetalSeries::gold),
         {MetalSeries::gold, dec("4203.100098"), at("2025-12-05T16:00:12Z")}},
        {"goldapi-xag-stale.json",
         goldApi(MetalSeries::silver),
         {MetalSeries::silver, dec("57.34"), at("2025-11-28T21:59:58Z")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        EXPECT_EQ(row.parse(recorded(row.file)), row.expected);
    }
}

TEST(ProviderParse, FxRatesAreDollarBasedAndExact) {
    const FxRates frankfurter = FrankfurterFxProvider::parse(recorded("frankfurter-latest.json"));
    EXPECT_EQ(frankfurter, (FxRates{QDate(2025, 12, 5),
                                    {{Currency::eur, dec("0.85911")},
                                     {Currency::gbp, dec("0.75011")},
                                     {Currency::inr, dec("89.94")}}}));

    // Crossed from the euro rates: 1 / 1.25, 0.8734 / 1.25, 104.6 / 1.25, with no rounding.
    const FxRates ecb = EcbFxProvider::parse(recorded("ecb-eurofxref-daily.xml"));
    EXPECT_EQ(ecb, (FxRates{QDate(2025, 12, 5),
                            {{Currency::eur, dec("0.8")},
                             {Currency::gbp, dec("0.69872")},
                             {Currency::inr, dec("83.68")}}}));

    // A file with several days answers with the newest, wherever it stands in the file.
    const FxRates history = EcbFxProvider::parse(recorded("ecb-eurofxref-hist-90d.xml"));
    EXPECT_EQ(history.date, QDate(2025, 12, 5));
    EXPECT_EQ(history.perUsd.at(Currency::gbp), dec("0.8731") / dec("1.1640"));
}

TEST(ProviderParse, DailySeriesDropsEmptyDaysAndRunsOldestFirst) {
    const std::vector<DailyClose> closes = LbmaDailyProvider::parse(recorded("lbma-gold-pm.json"));
    const std::vector<DailyClose> expected = {
        {QDate(1968, 4, 1), dec("37.7")},
        {QDate(2025, 12, 1), dec("4228.75")},
        {QDate(2025, 12, 3), dec("4205.4")},
        {QDate(2025, 12, 5), dec("4212.85")},
    };
    EXPECT_EQ(closes, expected);
    EXPECT_EQ(LbmaDailyProvider::fileName(MetalSeries::platinum), "platinum_pm.json");

    // Saturday's carried-forward rate is no trading day's close.
    const std::vector<DailyClose> reference =
        FrankfurterDailyProvider::parse(recorded("frankfurter-v2-xau.json"), MetalSeries::gold);
    ASSERT_EQ(reference.size(), 5u);
    EXPECT_EQ(reference[2], (DailyClose{QDate(2025, 12, 3), dec("4206.0157")}));
    EXPECT_EQ(reference.back().date, QDate(2025, 12, 5));
}

TEST(ProviderParse, UnusableAnswersAreProviderErrors) {
    struct Row {
        const char* file;
        std::function<void(QByteArrayView)> parse;
        const char* because;
    };
    const auto frankfurter = [](QByteArrayView b) { FrankfurterFxProvider::parse(b); };
    const auto ecb = [](QByteArrayView b) { EcbFxProvider::parse(b); };
    const auto lbma = [](QByteArrayView b) { LbmaDailyProvider::parse(b); };
    const auto reference = [](MetalSeries metal) {
        return [metal](QByteArrayView b) { FrankfurterDailyProvider::parse(b, metal); };
    };
    const Row rows[] = {
        {"swissquote-empty.json", swissquote(MetalSeries::gold), "no usable bid/ask for XAU/USD"},
        {"swissquote-no-market.json", swissquote(MetalSeries::gold), "no usable bid/ask"},
        {"swissquote-truncated.json", swissquote(MetalSeries::gold), "unreadable document"},
        {"html-200.html", swissquote(MetalSeries::gold), "unreadable document"},
        {"goldapi-xpd-null.json", goldApi(MetalSeries::palladium), "found null at price"},
        {"goldapi-xpt-zero.json", goldApi(MetalSeries::platinum), "positive number but found 0"},
        {"goldapi-xau.json", goldApi(MetalSeries::silver), "Expected symbol XAG but found XAU"},
        {"rate-limited-429.txt", goldApi(MetalSeries::gold), "unreadable document"},
        {"frankfurter-eur-base.json", frankfurter, "Expected base USD but found EUR"},
        {"frankfurter-no-inr.json", frankfurter, "no USD/INR rate for 2025-12-05"},
        {"html-200.html", frankfurter, "unreadable document"},
        {"ecb-truncated.xml", ecb, "unusable rate file"},
        {"html-200.html", ecb, "unusable rate file"},
        {"frankfurter-latest.json", ecb, "unusable rate file"},
        {"lbma-empty.json", lbma, "no priced day"},
        {"lbma-no-prices.json", lbma, "no priced day"},
        {"html-200.html", lbma, "unreadable document"},
        {"frankfurter-v2-truncated.json", reference(MetalSeries::gold), "unreadable document"},
        {"frankfurter-v2-xau.json", reference(MetalSeries::silver),
         "Expected base XAG but found XAU"},
        {"lbma-gold-pm.json", reference(MetalSeries::gold), "Missing key \"base\" at [0]"},
        {"lbma-empty.json", reference(MetalSeries::gold), "no priced weekday for XAU/USD"},
        {"frankfurter-latest.json", reference(MetalSeries::gold), "unreadable document"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file) + " / " + row.because);
        try {
            row.parse(recorded(row.file));
            ADD_FAILURE() << "parsed";
        } catch (const ProviderError& e) {
            EXPECT_NE(std::string(e.what()).find(row.because), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace mintlux::server
