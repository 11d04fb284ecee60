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
using M = MetalSeries;
using C = Currency;
using D = DisplayMode;

namespace {

const SettingsSnapshot kDefaults(M::gold, C::usd, D::priceAndDelta, 60, false);

// The stores the app keeps over a real preferences file.
class StoreTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(u"preferences.json"_s);
    PreferencesStore m_prefs{m_path};
    VaultStore m_vault{m_prefs};
    SettingsStore m_settings{m_prefs};
};

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
    const auto tick = [](MetalSeries s, int value, MetalUnit unit) {
        return std::pair{s, MetalPriceTick(s, value, unit, Currency::usd, Instant{}, std::nullopt)};
    };
    EXPECT_EQ(m_vault.totalValue({tick(MetalSeries::gold, 2000, MetalUnit::troyOunce),
                                  tick(MetalSeries::silver, 2, MetalUnit::gram)}),
              *Decimal::parse("2019.8"));
    EXPECT_EQ(m_vault.totalValue({}), Decimal(0));
}

TEST_F(StoreTest, SettingsEachKeyAcceptsOnlyItsStoredFormAndOtherwiseFallsBack) {
    EXPECT_EQ(m_settings.snapshot(), kDefaults);
    const struct {
        QString key;
        PreferenceValue stored;
        SettingsSnapshot expected;
    } cases[] = {
        {SettingsKey::primaryMetal, u"XPD"_s, {M::palladium, C::usd, D::priceAndDelta, 60, false}},
        {SettingsKey::primaryMetal, u"xpd"_s, kDefaults},
        {SettingsKey::displayCurrency, u"INR"_s, {M::gold, C::inr, D::priceAndDelta, 60, false}},
        {SettingsKey::displayMode, u"vaultValue"_s, {M::gold, C::usd, D::vaultValue, 60, false}},
        {SettingsKey::displayMode, u"Vault value"_s, kDefaults},
        {SettingsKey::refreshIntervalSec, 300, {M::gold, C::usd, D::priceAndDelta, 300, false}},
        {SettingsKey::refreshIntervalSec, 0, {M::gold, C::usd, D::priceAndDelta, 0, false}},
        // What "300.0" or "3e2" typed into the file gives.
        {SettingsKey::refreshIntervalSec,
         *Decimal::parse("3.000e2"),
         {M::gold, C::usd, D::priceAndDelta, 300, false}},
        {SettingsKey::refreshIntervalSec, u"300"_s, kDefaults},
        {SettingsKey::refreshIntervalSec, *Decimal::parse("30.5"), kDefaults},
        {SettingsKey::refreshIntervalSec, true, kDefaults},
        {SettingsKey::launchAtLogin, true, {M::gold, C::usd, D::priceAndDelta, 60, true}},
        {SettingsKey::launchAtLogin, u"true"_s, kDefaults},
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
