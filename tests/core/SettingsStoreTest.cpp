#include "persistence/PreferencesStore.h"
#include "persistence/SettingsKey.h"
#include "persistence/SettingsStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using M = MetalSeries;
using C = Currency;
using D = DisplayMode;

namespace {

const SettingsSnapshot kDefaults(M::gold, C::usd, D::priceAndDelta, 60, false);

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(u"preferences.json"_s);
    PreferencesStore m_prefs{m_path};
    SettingsStore m_settings{m_prefs};
};

TEST_F(SettingsStoreTest, EachKeyAcceptsOnlyItsStoredFormAndOtherwiseFallsBack) {
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

}  // namespace
