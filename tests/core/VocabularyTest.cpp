#include "DecodingTesting.h"
#include "market/AssetClass.h"
#include "market/Currency.h"
#include "market/DisplayMode.h"
#include "market/KaratGrade.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/TimeRange.h"

#include <vector>

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

using namespace mintlux;
using Kind = DecodingError::Kind;
using test::expectDecodingFailure;

namespace {

template <class T>
QString rawValues() {
    QStringList out;
    for (T v : T::allCases()) {
        out.push_back(v.rawValue());
        EXPECT_EQ(T::fromRawValue(v.rawValue()), v);
        EXPECT_EQ(T::fromJson(v.toJson()), v);
    }
    return out.join(u' ');
}

}  // namespace

// Raw values are what the wire, the preferences file and the service exchange; their order is
// the order of every chooser.
TEST(Vocabulary, CasesInOrderWithTheirRawValues) {
    EXPECT_EQ(rawValues<MetalSeries>(), "XAU XAG XPT XPD");
    EXPECT_EQ(rawValues<Currency>(), "USD INR EUR GBP AED");
    EXPECT_EQ(rawValues<MetalUnit>(), "troyOunce gram tola kilo");
    EXPECT_EQ(rawValues<TimeRange>(), "1D 1W 1M 3M 1Y All");
    EXPECT_EQ(rawValues<DisplayMode>(), "priceOnly priceAndDelta vaultValue vaultValueAndDelta");
    EXPECT_EQ(rawValues<AssetClass>(), "metals");
    EXPECT_EQ(MetalSeries(MetalSeries::platinum).toJson(), "\"XPT\"");
    EXPECT_EQ(MetalUnit::fromJson(" \"tola\" \n"), MetalUnit::tola);
}

TEST(Vocabulary, ConstructionFromRawValueIsExact) {
    for (const char16_t* bad : {u"usd", u" USD", u"USD ", u"", u"US", u"USDX", u"all", u"ALL",
                                u"troyounce", u"XAU\u0000"}) {
        EXPECT_FALSE(Currency::fromRawValue(QStringView(bad)).has_value());
        EXPECT_FALSE(TimeRange::fromRawValue(QStringView(bad)).has_value());
        EXPECT_FALSE(MetalUnit::fromRawValue(QStringView(bad)).has_value());
    }
    // A non-ASCII code unit must not alias an ASCII one after narrowing.
    EXPECT_FALSE(MetalSeries::fromRawValue(std::string_view("\xC5\x58\x41\x55")).has_value());
    EXPECT_FALSE(MetalSeries::fromRawValue(QStringView(u"\u0158AU")).has_value());
}

TEST(Vocabulary, DecodingFailuresSayWhichKind) {
    const std::vector<test::FailingJson> cases = {
        {"\"xau\"", Kind::dataCorrupted},  {"\"gold\"", Kind::dataCorrupted},
        {"\"XAU \"", Kind::dataCorrupted}, {"1", Kind::typeMismatch},
        {"[\"XAU\"]", Kind::typeMismatch}, {"{}", Kind::typeMismatch},
        {"true", Kind::typeMismatch},      {"null", Kind::valueNotFound},
        {"\"XAU", Kind::dataCorrupted},    {"\"XAU\" \"XAG\"", Kind::dataCorrupted},
        {"", Kind::dataCorrupted}};
    test::expectFromJsonFailures<MetalSeries>(cases);
    EXPECT_EQ(expectDecodingFailure([] { MetalSeries::fromJson("\"xau\""); }, Kind::dataCorrupted),
              "Cannot initialize MetalSeries from invalid value \"xau\"");
}

// Purities are checked through the valuations that use them.
TEST(KaratGrade, RawValuesInOrder) {
    std::vector<int> raws;
    for (KaratGrade grade : KaratGrade::allCases()) {
        raws.push_back(grade.rawValue());
        EXPECT_EQ(KaratGrade::fromRawValue(grade.rawValue()), grade);
        EXPECT_EQ(KaratGrade::fromJson(grade.toJson()), grade);
    }
    EXPECT_EQ(raws, (std::vector{10, 14, 18, 22, 24}));
    for (int raw : {9, 12, 16, 21, 0, -22, 240}) {
        EXPECT_FALSE(KaratGrade::fromRawValue(raw).has_value()) << raw;
    }
    EXPECT_EQ(KaratGrade(KaratGrade::k22).toJson(), "22");
    EXPECT_EQ(KaratGrade::fromJson("24.0"), KaratGrade::k24);
    test::expectFromJsonFailures<KaratGrade>({{"16", Kind::dataCorrupted},
                                              {"99999999999999999999999", Kind::dataCorrupted},
                                              {"22.5", Kind::typeMismatch},
                                              {"\"22\"", Kind::typeMismatch},
                                              {"null", Kind::valueNotFound}});
}
