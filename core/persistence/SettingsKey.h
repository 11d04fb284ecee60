#pragma once

#include <QString>

// The preference keys of the five settings. Writers (the settings window, the popover's metal
// choice) store enumerations as their raw value text, the interval as an integer and the log-in
// flag as a boolean.
namespace mintlux::SettingsKey {

inline const QString primaryMetal = QStringLiteral("mintlux.primaryMetal");
inline const QString displayCurrency = QStringLiteral("mintlux.displayCurrency");
inline const QString displayMode = QStringLiteral("mintlux.displayMode");
inline const QString refreshIntervalSec = QStringLiteral("mintlux.refreshIntervalSec");
inline const QString launchAtLogin = QStringLiteral("mintlux.launchAtLogin");

}  // namespace mintlux::SettingsKey
