#include "DecimalTesting.h"
#include "persistence/PreferencesStore.h"
#include "persistence/SettingsKey.h"
#include "persistence/SettingsStore.h"
#include "persistence/VaultKey.h"
#include "persistence/VaultStore.h"
#include "support/Printers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using U = MetalUnit;
using S = MetalSeries;
using C = Currency;
using D = DisplayMode;
using mintlux::test::dec;

namespace {

MetalPriceTick tick(const char* value, U unit, S series = S::gold) {
    return MetalPriceTick(series, dec(value), unit, Currency::usd, Instant{}, std::nullopt);
}

const SettingsSnapshot kDefaults(S::gold, C::usd, D::priceAndDelta, 60, false);

// The stores the app keeps over a real preferences file.
class StoreTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(u"preferences.json"_s);
    PreferencesStore m_prefs{m_path};
    VaultStore m_vault{m_prefs};
    SettingsStore m_settings{m_prefs};
};

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

TEST_F(StoreTest, VaultStoresCompactJsonDataThatSurvivesARestart) {
    const auto all = m_vault.snapshot();
    EXPECT_EQ(all.size(), 4u);
    EXPECT_EQ(all.at(MetalSeries::gold), (VaultEntry{0, MetalUnit::gram, KaratGrade::k24}));

    const VaultEntry silver{*Decimal::parse("1.25"), MetalUnit::troyOunce, KaratGrade::k18};
    m_vault.setEntry(silver, MetalSeries::silver);
    EXPECT_EQ(m_prefs.data(u"mintlux.vault.XAG"_s),
              R"({"quantity":1.25,"unit":"troyOunce","karat":18})"_ba);
    PreferencesStore restarted(m_path);
    EXPECT_EQ(VaultStore(restarted).entry(MetalSeries::silver), silver);
}

TEST_F(StoreTest, VaultUnreadableHoldingReadsAsDefaultAndIsLeftAsItIs) {
    for (const PreferenceValue& stored :
         {PreferenceValue(R"({"quantity":2.5,"unit":"troyOunce"})"_ba),
          PreferenceValue(uR"({"quantity":2.5,"unit":"gram","karat":22})"_s)}) {
        m_prefs.set(stored, VaultKey::entry(MetalSeries::gold));
        EXPECT_EQ(m_vault.entry(MetalSeries::gold), VaultEntry::defaultEntry());
        EXPECT_EQ(m_prefs.object(VaultKey::entry(MetalSeries::gold)), stored) << "not repaired";
    }
}

TEST_F(StoreTest, VaultTotalCountsOnlyMetalsThatHaveATick) {
    m_vault.setEntry({1, MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::gold);
    m_vault.setEntry({10, MetalUnit::gram, KaratGrade::k10}, MetalSeries::silver);
    m_vault.setEntry({5, MetalUnit::gram, KaratGrade::k24}, MetalSeries::platinum);
    EXPECT_EQ(m_vault.totalValue({{S::gold, tick("2000", U::troyOunce)},
                                  {S::silver, tick("2", U::gram, S::silver)}}),
              dec("2019.8"));
    EXPECT_EQ(m_vault.totalValue({}), Decimal(0));
}

TEST_F(StoreTest, SettingsEachKeyAcceptsOnlyItsStoredFormAndOtherwiseFallsBack) {
    EXPECT_EQ(m_settings.snapshot(), kDefaults);
    const struct {
        QString key;
        PreferenceValue stored;
        SettingsSnapshot expected;
    } cases[] = {
        {SettingsKey::primaryMetal, u"XPD"_s, {S::palladium, C::usd, D::priceAndDelta, 60, false}},
        {SettingsKey::primaryMetal, u"xpd"_s, kDefaults},
        {SettingsKey::displayCurrency, u"INR"_s, {S::gold, C::inr, D::priceAndDelta, 60, false}},
        {SettingsKey::displayMode, u"vaultValue"_s, {S::gold, C::usd, D::vaultValue, 60, false}},
        {SettingsKey::displayMode, u"Vault value"_s, kDefaults},
        {SettingsKey::refreshIntervalSec, 300, {S::gold, C::usd, D::priceAndDelta, 300, false}},
        {SettingsKey::refreshIntervalSec, 0, {S::gold, C::usd, D::priceAndDelta, 0, false}},
        // What "300.0" or "3e2" typed into the file gives.
        {SettingsKey::refreshIntervalSec,
         *Decimal::parse("3.000e2"),
         {S::gold, C::usd, D::priceAndDelta, 300, false}},
        {SettingsKey::refreshIntervalSec, u"300"_s, kDefaults},
        {SettingsKey::refreshIntervalSec, *Decimal::parse("30.5"), kDefaults},
        {SettingsKey::refreshIntervalSec, true, kDefaults},
        {SettingsKey::launchAtLogin, true, {S::gold, C::usd, D::priceAndDelta, 60, true}},
        {SettingsKey::launchAtLogin, u"true"_s, kDefaults},
        {SettingsKey::discreetMode, true, {S::gold, C::usd, D::priceAndDelta, 60, false, true}},
        {SettingsKey::discreetMode, 1, kDefaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        m_prefs.set(c.stored, c.key);
        EXPECT_EQ(m_settings.snapshot(), c.expected);
        // Each accepted row changes one field: equality must see every one of them.
        if (!(c.expected == kDefaults)) {
            EXPECT_NE(m_settings.snapshot(), kDefaults);
        }
        // Read, never repaired.
        EXPECT_EQ(m_prefs.object(c.key), c.stored);
        m_prefs.remove(c.key);
    }
}

TEST(VaultKey, OneKeyPerMetalUnderTheCaseSensitivePrefix) {
    EXPECT_EQ(VaultKey::entry(MetalSeries::palladium), u"mintlux.vault.XPD"_s);
    EXPECT_TRUE(VaultKey::matches(u"mintlux.vault.XAU"));
    EXPECT_FALSE(VaultKey::matches(u"mintlux.displayMode"));
    EXPECT_FALSE(VaultKey::matches(u"Mintlux.vault.XAU"));
}

}  // namespace
