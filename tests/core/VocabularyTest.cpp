#include "market/AssetClass.h"
#include "market/Currency.h"
#include "market/DisplayMode.h"
#include "market/KaratGrade.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/TimeRange.h"

#include <unordered_set>
#include <vector>

#include <QHash>
#include <QString>

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

template <class T>
std::vector<QString> rawValues() {
    std::vector<QString> out;
    for (T v : T::allCases()) {
        out.push_back(v.rawValue());
    }
    return out;
}

std::vector<QString> texts(std::initializer_list<const char16_t*> list) {
    std::vector<QString> out;
    for (const char16_t* s : list) {
        out.push_back(QString::fromUtf16(s));
    }
    return out;
}

}  // namespace

TEST(Vocabulary, CasesInOrderWithTheirRawValues) {
    EXPECT_EQ(rawValues<MetalSeries>(), texts({u"XAU", u"XAG", u"XPT", u"XPD"}));
    EXPECT_EQ(rawValues<Currency>(), texts({u"USD", u"INR", u"EUR", u"GBP", u"AED"}));
    EXPECT_EQ(rawValues<MetalUnit>(), texts({u"troyOunce", u"gram", u"tola", u"kilo"}));
    EXPECT_EQ(rawValues<TimeRange>(), texts({u"1D", u"1W", u"1M", u"3M", u"1Y", u"All"}));
    EXPECT_EQ(rawValues<DisplayMode>(),
              texts({u"priceOnly", u"priceAndDelta", u"vaultValue", u"vaultValueAndDelta"}));
    EXPECT_EQ(rawValues<AssetClass>(), texts({u"metals"}));

    const auto metals = MetalSeries::allCases();
    EXPECT_EQ(metals[0], MetalSeries::gold);
    EXPECT_EQ(metals[3], MetalSeries::palladium);
    EXPECT_EQ(DisplayMode::allCases()[3], DisplayMode::vaultValueAndDelta);
    EXPECT_EQ(TimeRange::allCases()[3], TimeRange::threeMonths);
}

TEST(Vocabulary, Labels) {
    const std::vector<std::pair<MetalSeries, std::pair<QString, QString>>> metals{
        {MetalSeries::gold, {"Gold", "Au"}},
        {MetalSeries::silver, {"Silver", "Ag"}},
        {MetalSeries::platinum, {"Platinum", "Pt"}},
        {MetalSeries::palladium, {"Palladium", "Pd"}}};
    for (const auto& [metal, labels] : metals) {
        EXPECT_EQ(metal.displayName(), labels.first);
        EXPECT_EQ(metal.symbolForUI(), labels.second);
        EXPECT_EQ(MetalSeries::assetClass(), AssetClass::metals);
    }

    const std::vector<std::tuple<MetalUnit, QString, QString>> units{
        {MetalUnit::troyOunce, "oz", "troy ounce"},
        {MetalUnit::gram, "g", "gram"},
        {MetalUnit::tola, "tola", "tola"},
        {MetalUnit::kilo, "kg", "kilogram"}};
    for (const auto& [unit, shortLabel, longLabel] : units) {
        EXPECT_EQ(unit.displayLabel(true), shortLabel);
        EXPECT_EQ(unit.displayLabel(false), longLabel);
        EXPECT_EQ(unit.assetClass(), AssetClass::metals);
    }

    EXPECT_EQ(Currency(Currency::usd).symbol(), "$");
    EXPECT_EQ(Currency(Currency::aed).symbol(), "AED");
    EXPECT_EQ(Currency(Currency::gbp).displayName(), "British Pound");
    EXPECT_EQ(Currency(Currency::aed).displayName(), "UAE Dirham");
    // One character each, of three and two bytes in UTF-8.
    EXPECT_EQ(Currency(Currency::inr).symbol().size(), 1);
    EXPECT_EQ(Currency(Currency::inr).symbol().toUtf8().size(), 3);
    EXPECT_EQ(Currency(Currency::gbp).symbol().toUtf8().size(), 2);
    EXPECT_EQ(Currency(Currency::eur).symbol(), QString::fromUtf8("\u20AC"));

    EXPECT_EQ(TimeRange(TimeRange::all).displayLabel(), "All");
    EXPECT_EQ(TimeRange(TimeRange::threeMonths).displayLabel(), "3M");
    EXPECT_EQ(DisplayMode(DisplayMode::priceAndDelta).displayName(), "Spot price + Delta");
    EXPECT_EQ(DisplayMode(DisplayMode::vaultValue).displayName(), "Vault value");
}

TEST(Vocabulary, ConstructionFromRawValueIsExact) {
    EXPECT_EQ(Currency::fromRawValue(u"USD"), Currency::usd);
    EXPECT_EQ(Currency::fromRawValue(std::string_view("GBP")), Currency::gbp);
    EXPECT_EQ(TimeRange::fromRawValue(u"All"), TimeRange::all);
    for (const char16_t* bad : {u"usd", u" USD", u"USD ", u"", u"US", u"USDX", u"all", u"ALL",
                                u"troyounce", u"XAU\u0000"}) {
        EXPECT_FALSE(Currency::fromRawValue(QStringView(bad)).has_value());
        EXPECT_FALSE(TimeRange::fromRawValue(QStringView(bad)).has_value());
        EXPECT_FALSE(MetalUnit::fromRawValue(QStringView(bad)).has_value());
    }
    // A non-ASCII code unit must not alias an ASCII one after narrowing.
    EXPECT_FALSE(MetalSeries::fromRawValue(std::string_view("\xC5\x58\x41\x55")).has_value());
    EXPECT_FALSE(MetalSeries::fromRawValue(QStringView(u"\u0158AU")).has_value());

    for (MetalSeries m : MetalSeries::allCases()) {
        EXPECT_EQ(MetalSeries::fromRawValue(m.rawValue()), m);
    }
    for (DisplayMode d : DisplayMode::allCases()) {
        EXPECT_EQ(DisplayMode::fromRawValue(d.rawValue()), d);
    }
}

TEST(Vocabulary, EqualityAndHashing) {
    std::unordered_set<MetalUnit> units;
    QHash<Currency, int> byCurrency;
    for (MetalUnit u : MetalUnit::allCases()) {
        units.insert(u);
    }
    for (Currency c : Currency::allCases()) {
        byCurrency.insert(c, 1);
    }
    EXPECT_EQ(units.size(), 4u);
    EXPECT_EQ(byCurrency.size(), 5);
    EXPECT_NE(MetalUnit(MetalUnit::gram), MetalUnit(MetalUnit::kilo));
    EXPECT_EQ(MetalUnit(MetalUnit::gram), MetalUnit::fromRawValue(u"gram"));
}

TEST(VocabularyJson, EncodesAsRawValueString) {
    EXPECT_EQ(MetalSeries(MetalSeries::platinum).toJson(), "\"XPT\"");
    EXPECT_EQ(TimeRange(TimeRange::oneDay).toJson(), "\"1D\"");
    EXPECT_EQ(DisplayMode(DisplayMode::vaultValue).toJson(), "\"vaultValue\"");
    EXPECT_EQ(AssetClass(AssetClass::metals).toJson(), "\"metals\"");
    EXPECT_EQ(KaratGrade(KaratGrade::k22).toJson(), "22");

    for (Currency c : Currency::allCases()) {
        EXPECT_EQ(Currency::fromJson(c.toJson()), c);
    }
    EXPECT_EQ(MetalUnit::fromJson(" \"tola\" \n"), MetalUnit::tola);
    EXPECT_EQ(KaratGrade::fromJson("18"), KaratGrade::k18);
}

TEST(VocabularyJson, DecodingFailuresSayWhichKind) {
    struct Case {
        const char* json;
        DecodingError::Kind kind;
    };
    const Case cases[] = {
        {"\"xau\"", DecodingError::Kind::dataCorrupted},
        {"\"gold\"", DecodingError::Kind::dataCorrupted},
        {"\"XAU \"", DecodingError::Kind::dataCorrupted},
        {"1", DecodingError::Kind::typeMismatch},
        {"[\"XAU\"]", DecodingError::Kind::typeMismatch},
        {"{}", DecodingError::Kind::typeMismatch},
        {"true", DecodingError::Kind::typeMismatch},
        {"null", DecodingError::Kind::valueNotFound},
        {"\"XAU", DecodingError::Kind::dataCorrupted},
        {"\"XAU\" \"XAG\"", DecodingError::Kind::dataCorrupted},
        {"", DecodingError::Kind::dataCorrupted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            MetalSeries::fromJson(c.json);
            ADD_FAILURE() << "decoded";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.what();
        }
    }
    EXPECT_THROW(
        {
            try {
                MetalSeries::fromJson("\"xau\"");
            } catch (const DecodingError& e) {
                EXPECT_STREQ(e.what(), "Cannot initialize MetalSeries from invalid value \"xau\"");
                throw;
            }
        },
        DecodingError);
}

TEST(KaratGrade, RawValuesLabelsAndPurities) {
    const std::vector<std::tuple<KaratGrade, int, QString, const char*>> grades{
        {KaratGrade::k10, 10, "10K", "0.417"},
        {KaratGrade::k14, 14, "14K", "0.585"},
        {KaratGrade::k18, 18, "18K", "0.75"},
        {KaratGrade::k22, 22, "22K", "0.917"},
        {KaratGrade::k24, 24, "24K", "0.9999"}};
    ASSERT_EQ(KaratGrade::allCases().size(), grades.size());
    for (std::size_t i = 0; i < grades.size(); ++i) {
        const auto& [grade, raw, label, purity] = grades[i];
        EXPECT_EQ(KaratGrade::allCases()[i], grade);
        EXPECT_EQ(grade.rawValue(), raw);
        EXPECT_EQ(grade.displayLabel(), label);
        EXPECT_EQ(grade.purity(), *Decimal::parse(purity));
        EXPECT_EQ(KaratGrade::fromRawValue(raw), grade);
    }
    for (int raw : {9, 12, 16, 21, 0, -22, 240}) {
        EXPECT_FALSE(KaratGrade::fromRawValue(raw).has_value()) << raw;
    }
}

TEST(KaratGrade, DecodingFailures) {
    EXPECT_EQ(KaratGrade::fromJson("24.0"), KaratGrade::k24);
    const std::pair<const char*, DecodingError::Kind> cases[] = {
        {"16", DecodingError::Kind::dataCorrupted},
        {"99999999999999999999999", DecodingError::Kind::dataCorrupted},
        {"22.5", DecodingError::Kind::typeMismatch},
        {"\"22\"", DecodingError::Kind::typeMismatch},
        {"null", DecodingError::Kind::valueNotFound},
    };
    for (const auto& [json, kind] : cases) {
        SCOPED_TRACE(json);
        try {
            KaratGrade::fromJson(json);
            ADD_FAILURE() << "decoded";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.kind(), kind) << e.what();
        }
    }
}
