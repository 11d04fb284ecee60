#pragma once

#include <QString>

// The preference keys of the six settings. Writers (the settings window, the popover's metal
// choice and discreet toggle, the status item's menu) store enumerations as their raw value
// text, the interval as an integer and the two flags as booleans.
namespace mintlux::SettingsKey {

inline const QString primaryMetal = QStringLiteral("mintlux.primaryMetal");
inline const QString displayCurrency = QStringLiteral("mintlux.displayCurrency");
inline const QString displayMode = QStringLiteral("mintlux.displayMode");
inline const QString refreshIntervalSec = QStringLiteral("mintlux.refreshIntervalSec");
inline const QString launchAtLogin = QStringLiteral("mintlux.launchAtLogin");
inline const QString discreetMode = QStringLiteral("mintlux.discreetMode");

}  // namespace mintlux::SettingsKey
