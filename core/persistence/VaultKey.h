#pragma once

#include "market/MetalSeries.h"

#include <QString>
#include <QStringView>

// Preference keys of the holdings, one per metal.
namespace mintlux::VaultKey {

inline const QString prefix = QStringLiteral("mintlux.vault.");

// "mintlux.vault." followed by the metal's raw value, e.g. "mintlux.vault.XAU".
QString entry(MetalSeries series);

// Case-sensitive prefix test.
bool matches(QStringView key) noexcept;

}  // namespace mintlux::VaultKey
