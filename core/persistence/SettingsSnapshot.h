#pragma once

#include "market/Currency.h"
#include "market/DisplayMode.h"
#include "market/MetalSeries.h"

#include <cstdint>
#include <functional>

#include <QHashFunctions>

namespace mintlux {

// The six settings at one moment. Equality over all of them is how the application tells that
// a change notification changed nothing it uses.
class SettingsSnapshot {
public:
    SettingsSnapshot(MetalSeries primaryMetal, Currency displayCurrency, DisplayMode displayMode,
                     std::int64_t refreshIntervalSec, bool launchAtLogin, bool discreetMode = false)
        : m_primaryMetal(primaryMetal),
          m_displayCurrency(displayCurrency),
          m_displayMode(displayMode),
          m_refreshIntervalSec(refreshIntervalSec),
          m_launchAtLogin(launchAtLogin),
          m_discreetMode(discreetMode) {}

    MetalSeries primaryMetal() const noexcept { return m_primaryMetal; }
    Currency displayCurrency() const noexcept { return m_displayCurrency; }
    DisplayMode displayMode() const noexcept { return m_displayMode; }
    std::int64_t refreshIntervalSec() const noexcept { return m_refreshIntervalSec; }
    bool launchAtLogin() const noexcept { return m_launchAtLogin; }
    // Holdings are masked wherever they show; prices are not.
    bool discreetMode() const noexcept { return m_discreetMode; }

    friend bool operator==(const SettingsSnapshot&, const SettingsSnapshot&) = default;
    friend std::size_t qHash(const SettingsSnapshot& s, std::size_t seed = 0) noexcept {
        return qHashMulti(seed, s.m_primaryMetal, s.m_displayCurrency, s.m_displayMode,
                          static_cast<qint64>(s.m_refreshIntervalSec), s.m_launchAtLogin,
                          s.m_discreetMode);
    }

private:
    MetalSeries m_primaryMetal;
    Currency m_displayCurrency;
    DisplayMode m_displayMode;
    std::int64_t m_refreshIntervalSec;
    bool m_launchAtLogin;
    bool m_discreetMode;
};

}  // namespace mintlux

template <>
struct std::hash<mintlux::SettingsSnapshot> {
    std::size_t operator()(const mintlux::SettingsSnapshot& s) const noexcept { return qHash(s); }
};
