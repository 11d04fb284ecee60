#pragma once

#include "PriceFormatter.h"
#include "StyledTitle.h"
#include "market/DisplayMode.h"
#include "market/MetalSeries.h"
#include "market/PriceTick.h"
#include "persistence/VaultEntry.h"

#include <QString>

namespace mintlux::MenuBarTitleFormatter {

// "Au $2,346", followed in the delta modes by " ▲1.23%" coloured positive (or " ▼0.46%"
// negative) when the tick has a significant change. The amount is the tick's price or, in the
// vault modes, the holding's value at that price; either way in the tick's currency, which after
// a currency change may not be the one in the settings yet. Discreet, a holding's value is the
// mask; the price modes are left as they are.
StyledTitle attributedTitle(const MetalPriceTick& tick, MetalSeries primaryMetal,
                            DisplayMode displayMode, const VaultEntry& vaultEntry,
                            const QString& locale = PriceFormatter::userLocale(),
                            bool discreet = false);

}  // namespace mintlux::MenuBarTitleFormatter
