#pragma once

#include "market/Currency.h"
#include "market/DisplayMode.h"
#include "market/MetalSeries.h"

#include <cstdint>

// What each setting is when its key holds nothing usable; the settings window starts its
// controls from the same values.
namespace mintlux::SettingsDefaults {

inline constexpr MetalSeries primaryMetal = MetalSeries::gold;
inline constexpr Currency displayCurrency = Currency::usd;
// Not the first mode: a fresh install shows the day's change.
inline constexpr DisplayMode displayMode = DisplayMode::priceAndDelta;
inline constexpr std::int64_t refreshIntervalSec = 60;
inline constexpr bool launchAtLogin = false;
inline constexpr bool discreetMode = false;

}  // namespace mintlux::SettingsDefaults
