#include "DecimalTesting.h"
#include "market/KaratGold.h"
#include "market/UnitConversion.h"

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

using mintlux::test::dec;

constexpr MetalUnit oz = MetalUnit::troyOunce;
constexpr MetalUnit g = MetalUnit::gram;
constexpr MetalUnit tola = MetalUnit::tola;
constexpr MetalUnit kg = MetalUnit::kilo;

}  // namespace

TEST(UnitConversion, Quantities) {
    struct Case {
        const char* quantity;
        MetalUnit from, to;
        const char* expected;
    };
    const Case cases[] = {
        {"1", kg, g, "1000"},
        {"1000", g, kg, "1"},
        {"1", oz, g, "31.1034768"},
        {"1", tola, oz, "0.375"},
        {"8", tola, oz, "3"},
        {"-2", oz, g, "-62.2069536"},
        {"0", kg, oz, "0"},
        // Multiply first: 1 g in ounces and back lands on the last digit of a 38-digit quotient.
        {"1", g, oz, "0.032150746568627980522100346029483109104"},
        {"2.5", oz, oz, "2.5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.quantity) + " " + c.from.rawValue().toStdString() + " -> " +
                     c.to.rawValue().toStdString());
        EXPECT_EQ(UnitConversion::convert(dec(c.quantity), c.from, c.to).toString(), c.expected);
    }
}

TEST(UnitConversion, PricesDivideThenMultiply) {
    EXPECT_EQ(UnitConversion::convertPrice(dec("2000"), oz, oz).toString(), "2000");
    EXPECT_EQ(UnitConversion::convertPrice(dec("3110.34768"), oz, g).toString(), "100");
    EXPECT_EQ(UnitConversion::convertPrice(dec("100"), g, kg).toString(), "100000");
    // The quotient is rounded to 38 digits before the multiplication, so the order shows.
    EXPECT_EQ(UnitConversion::convertPrice(dec("2000"), oz, tola).toString(),
              "749.99999999999999999999999999999999999");
    EXPECT_EQ(UnitConversion::convertPrice(dec("2000"), tola, oz).toString(),
              "5333.3333333333333333333333333333333332");
    // Quantities multiply first, so the same masses come out exact.
    EXPECT_EQ(UnitConversion::convert(dec("2000"), tola, oz).toString(), "750");
}

TEST(KaratGold, Valuation) {
    EXPECT_EQ(KaratGold::value(KaratGrade::k24, dec("1"), oz, dec("2000"), oz).toString(),
              "1999.8");
    EXPECT_EQ(KaratGold::value(KaratGrade::k22, dec("10"), g, dec("100"), g).toString(), "917");
    EXPECT_EQ(KaratGold::value(KaratGrade::k18, dec("0"), g, dec("100"), g).toString(), "0");
    // Spot per ounce, holding in grams: the price comes to grams first (÷ then ×).
    EXPECT_EQ(KaratGold::value(KaratGrade::k14, dec("31.1034768"), g, dec("2000"), oz),
              UnitConversion::convertPrice(dec("2000"), oz, g) * dec("31.1034768") * dec("0.585"));
    EXPECT_EQ(KaratGold::value(KaratGrade::k24, dec("1"), tola, dec("2000"), oz).toString(),
              "749.92499999999999999999999999999999999");

    EXPECT_EQ(KaratGold::pricePerUnit(KaratGrade::k18, dec("2000"), oz, oz).toString(), "1500");
    EXPECT_EQ(KaratGold::pricePerUnit(KaratGrade::k10, dec("100"), g, kg).toString(), "41700");
    EXPECT_EQ(KaratGold::pricePerUnit(KaratGrade::k22, dec("3110.34768"), oz, g).toString(),
              "91.7");
}
