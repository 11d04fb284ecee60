#include "DecimalTesting.h"
#include "DecodingTesting.h"
#include "json/Iso8601.h"
#include "market/PricePoint.h"
#include "market/PriceTick.h"

#include <unordered_set>
#include <vector>

#include <QHash>

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

using mintlux::test::dec;

Instant at(const char* iso) {
    return *Iso8601::parse(iso);
}

const Instant kAt = at("2025-01-31T14:05:09Z");

MetalPriceTick tick(const char* value, std::optional<const char*> prevClose,
                    MetalSeries series = MetalSeries::gold, MetalUnit unit = MetalUnit::troyOunce,
                    Currency currency = Currency::usd, Instant timestamp = kAt) {
    return MetalPriceTick(series, dec(value), unit, currency, timestamp,
                          prevClose ? std::optional(dec(*prevClose)) : std::nullopt);
}

std::optional<std::string> text(const std::optional<Decimal>& d) {
    return d ? std::optional(d->toString()) : std::nullopt;
}

}  // namespace

TEST(PriceTick, DaysChange) {
    struct Case {
        const char* value;
        std::optional<const char*> prevClose;
        std::optional<std::string> absolute;
        std::optional<std::string> percent;
        std::optional<std::string> significant;
    };
    const Case cases[] = {
        {"105", "100", "5", "5", "5"},
        // The threshold itself counts, on both sides.
        {"100.01", "100", "0.01", "0.01", "0.01"},
        {"99.99", "100", "-0.01", "-0.01", "-0.01"},
        {"100.00999", "100", "0.00999", "0.00999", std::nullopt},
        {"99.99001", "100", "-0.00999", "-0.00999", std::nullopt},
        {"100", "100", "0", "0", std::nullopt},
        {"100", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        // A zero close has a difference but no ratio.
        {"7", "0", "7", std::nullopt, std::nullopt},
        {"-3", "-2", "-1", "50", "50"},
        // The 38-digit quotient is rounded first, then multiplied: ...666667 × 100.
        {"1", "3", "-2", "-66.666666666666666666666666666666666667",
         "-66.666666666666666666666666666666666667"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.value) + " / " + c.prevClose.value_or("none"));
        const MetalPriceTick t = tick(c.value, c.prevClose);
        EXPECT_EQ(text(t.changeAbsolute()), c.absolute);
        EXPECT_EQ(text(t.changePercent()), c.percent);
        EXPECT_EQ(text(t.significantChangePercent()), c.significant);
    }
}

TEST(PriceTick, EqualityAndHashCoverEveryField) {
    const MetalPriceTick base = tick("2034.5", "2000");
    const MetalPriceTick same = tick("2034.50", "2000.0", MetalSeries::gold, MetalUnit::troyOunce,
                                     Currency::usd, at("2025-01-31T15:05:09+01:00"));
    EXPECT_EQ(base, same);
    EXPECT_EQ(base.hash(), same.hash());
    EXPECT_EQ(qHash(base), qHash(same));

    const MetalPriceTick variants[] = {
        tick("2034.5", std::nullopt),
        tick("2034.5", "0"),
        tick("2034.51", "2000"),
        tick("2034.5", "2000", MetalSeries::silver),
        tick("2034.5", "2000", MetalSeries::gold, MetalUnit::gram),
        tick("2034.5", "2000", MetalSeries::gold, MetalUnit::troyOunce, Currency::eur),
        tick("2034.5", "2000", MetalSeries::gold, MetalUnit::troyOunce, Currency::usd,
             kAt + std::chrono::nanoseconds(1))};
    std::unordered_set<MetalPriceTick> set{base};
    for (const MetalPriceTick& v : variants) {
        EXPECT_NE(v, base);
        set.insert(v);
    }
    EXPECT_EQ(set.size(), std::size(variants) + 1);
    // Absent and zero previous closes are different ticks and must not collide by design.
    EXPECT_NE(tick("1", std::nullopt).hash(), tick("1", "0").hash());
}

TEST(PriceTickJson, KeysAndRoundTrip) {
    const MetalPriceTick withClose = tick("2034.50", "2000.125");
    EXPECT_EQ(withClose.toJson(),
              "{\"series\":\"XAU\",\"value\":2034.5,\"unit\":\"troyOunce\",\"currency\":\"USD\","
              "\"timestamp\":\"2025-01-31T14:05:09Z\",\"prevClose\":2000.125}");
    EXPECT_EQ(MetalPriceTick::fromJson(withClose.toJson()), withClose);

    const MetalPriceTick noClose = tick("2034.5", std::nullopt);
    const QByteArray json = noClose.toJson();
    EXPECT_EQ(json.count(':'), 5 + 2);  // five keys; the timestamp text has two colons
    EXPECT_EQ(MetalPriceTick::fromJson(json), noClose);

    const MetalPriceTick nullClose = MetalPriceTick::fromJson(
        R"({"prevClose":null,"timestamp":"2025-01-31T14:05:09Z","currency":"USD","unit":"troyOunce","value":2034.5,"series":"XAU","extra":[1,{"a":null}]})");
    EXPECT_EQ(nullClose, noClose);
}

TEST(PriceTickJson, DecodingFailures) {
    using enum DecodingError::Kind;
    const std::string valid =
        R"("series":"XAU","value":1,"unit":"gram","currency":"USD","timestamp":"2025-01-31T14:05:09Z")";
    test::expectFromJsonFailures<MetalPriceTick>({
        {R"({"series":"XAU","value":1,"unit":"gram","currency":"USD"})", keyNotFound, "timestamp"},
        {"{" + valid + R"(,"value":2})", dataCorrupted, "value"},
        {R"({"series":"XAU","value":1,"unit":"oz","currency":"USD","timestamp":"2025-01-31T14:05:09Z"})",
         dataCorrupted, "unit"},
        {"{" + valid + R"(,"prevClose":"1"})", typeMismatch, "prevClose"},
    });
}

TEST(PricePoint, EqualityHashAndJson) {
    const MetalPricePoint p(at("2025-01-31T14:05:09.5Z"), dec("31.10"), MetalUnit::gram);
    const MetalPricePoint same(at("2025-01-31T14:05:09.500Z"), dec("31.1"), MetalUnit::gram);
    EXPECT_EQ(p, same);
    EXPECT_EQ(p.hash(), same.hash());
    EXPECT_NE(p, MetalPricePoint(p.timestamp(), p.value(), MetalUnit::kilo));
    EXPECT_NE(p, MetalPricePoint(p.timestamp(), dec("31.11"), MetalUnit::gram));

    EXPECT_EQ(p.toJson(), R"({"timestamp":"2025-01-31T14:05:09.500Z","value":31.1,"unit":"gram"})");
    EXPECT_EQ(MetalPricePoint::fromJson(p.toJson()), p);
    test::expectFromJsonFailures<MetalPricePoint>({
        {R"({"value":1,"unit":"gram"})", DecodingError::Kind::keyNotFound, "timestamp"},
        {R"({"timestamp":"2025-01-31T14:05:09Z","unit":"gram"})", DecodingError::Kind::keyNotFound,
         "value"},
        {R"({"timestamp":"2025-01-31T14:05:09Z","value":1})", DecodingError::Kind::keyNotFound,
         "unit"},
    });
}
