#include "persistence/SettingsStore.h"

#include "persistence/PreferencesStore.h"
#include "persistence/SettingsDefaults.h"
#include "persistence/SettingsKey.h"

namespace mintlux {

namespace {

template <class Vocabulary>
Vocabulary readCase(const PreferencesStore& store, const QString& key, Vocabulary fallback) {
    const auto text = store.string(key);
    if (!text) {
        return fallback;
    }
    return Vocabulary::fromRawValue(QStringView(*text)).value_or(fallback);
}

}  // namespace

SettingsSnapshot SettingsStore::snapshot() const {
    const MetalSeries primaryMetal =
        readCase(m_defaults, SettingsKey::primaryMetal, SettingsDefaults::primaryMetal);
    const Currency displayCurrency =
        readCase(m_defaults, SettingsKey::displayCurrency, SettingsDefaults::displayCurrency);
    const DisplayMode displayMode =
        readCase(m_defaults, SettingsKey::displayMode, SettingsDefaults::displayMode);

    // Only a whole number in range counts: text, fractions and other kinds are not an interval.
    // No bounds here; the pricing service applies its own floor.
    const auto interval = m_defaults.object(SettingsKey::refreshIntervalSec);
    const std::int64_t refreshIntervalSec = (interval ? interval->integer() : std::nullopt)
                                                .value_or(SettingsDefaults::refreshIntervalSec);

    const auto launch = m_defaults.object(SettingsKey::launchAtLogin);
    const bool launchAtLogin =
        (launch ? launch->boolean() : std::nullopt).value_or(SettingsDefaults::launchAtLogin);

    const auto discreet = m_defaults.object(SettingsKey::discreetMode);
    const bool discreetMode =
        (discreet ? discreet->boolean() : std::nullopt).value_or(SettingsDefaults::discreetMode);

    return SettingsSnapshot(primaryMetal, displayCurrency, displayMode, refreshIntervalSec,
                            launchAtLogin, discreetMode);
}

}  // namespace mintlux
