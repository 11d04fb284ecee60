#include "DecimalTesting.h"
#include "persistence/VaultEntry.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

using namespace mintlux;
using U = MetalUnit;
using S = MetalSeries;

namespace {

using mintlux::test::dec;

MetalPriceTick tick(const char* value, U unit, S series = S::gold) {
    return MetalPriceTick(series, dec(value), unit, Currency::usd, Instant{}, std::nullopt);
}

TEST(VaultEntryValue, ConvertsThenMultipliesThenAppliesGoldPurity) {
    const struct {
        S series;
        VaultEntry entry;
        MetalPriceTick tick;
        Decimal expected;
    } cases[] = {
        {S::gold, {1, U::troyOunce, KaratGrade::k24}, tick("2000", U::troyOunce), dec("1999.8")},
        {S::silver, {1, U::troyOunce, KaratGrade::k24}, tick("2000", U::troyOunce), 2000},
        {S::gold, {10, U::gram, KaratGrade::k22}, tick("100", U::gram), 917},
        // Other metals convert too, and take no purity.
        {S::platinum, {10, U::gram, KaratGrade::k18}, tick("311.034768", U::troyOunce), 100},
        // Divide first; each step rounds to 38 digits, so the order shows in the last digits.
        {S::gold,
         {2, U::kilo, KaratGrade::k18},
         tick("2000", U::troyOunce),
         Decimal(2000) / dec("31.1034768") * Decimal(1000) * Decimal(2) * dec("0.75")},
        // The metal is the argument's, not the tick's.
        {S::gold, {1, U::gram, KaratGrade::k18}, tick("100", U::gram, S::silver), 75},
        {S::gold, {-3, U::gram, KaratGrade::k24}, tick("2000", U::gram), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.entry.value(c.series, c.tick), c.expected);
    }
}

TEST(VaultEntryValue, AResultPastTheDecimalRangeIsHeldAtTheLargestDecimal) {
    const Decimal largest = dec("99999999999999999999999999999999999999e127");
    const VaultEntry huge{dec("1e164"), U::gram, KaratGrade::k24};
    EXPECT_EQ(huge.value(S::gold, tick("2000", U::troyOunce)), largest);
    EXPECT_EQ(huge.value(S::silver, tick("-2000", U::gram)), -largest);
}

TEST(VaultEntryJson, CompactWithAnExactPlainQuantityReadInAnyOrder) {
    const VaultEntry entry{dec("12345678901234567890.000001"), U::troyOunce, KaratGrade::k22};
    const QByteArray json =
        R"({"quantity":12345678901234567890.000001,"unit":"troyOunce","karat":22})";
    EXPECT_EQ(Json::encode(entry), json);
    EXPECT_EQ(Json::decode<VaultEntry>(json), entry);
    EXPECT_EQ(Json::encode(VaultEntry{dec("1e-5"), U::gram, KaratGrade::k24}),
              R"({"quantity":0.00001,"unit":"gram","karat":24})");
    EXPECT_EQ(Json::decode<VaultEntry>(R"({"karat":18, "x":[1], "unit":"kilo", "quantity":1.25})"),
              (VaultEntry{dec("1.25"), U::kilo, KaratGrade::k18}));
    for (const char* bad : {R"({"quantity":2.5,"unit":"troyOunce"})",
                            R"({"quantity":"2.5","unit":"troyOunce","karat":22})",
                            R"({"quantity":2.5,"unit":"ounce","karat":22})",
                            R"({"quantity":2.5,"unit":"troyOunce","karat":21})"}) {
        EXPECT_THROW(Json::decode<VaultEntry>(QByteArray(bad)), DecodingError) << bad;
    }
}

}  // namespace
