#include "MenuBarTitleFormatter.h"

#include <optional>

namespace mintlux::MenuBarTitleFormatter {

namespace {

// Direction is told by the arrow and the colour alone, so the figure is the magnitude and a
// change of exactly zero reads as up.
void appendColoredDelta(StyledTitle& title, const std::optional<Decimal>& pct,
                        const QString& locale) {
    if (!pct) {
        return;
    }
    const bool negative = *pct < Decimal(0);
    const QString run = QLatin1Char(' ') + (negative ? QChar(0x25BC) : QChar(0x25B2)) +
                        PriceFormatter::percent(negative ? -*pct : *pct, locale);
    title.append(run, negative ? StyledTitle::Role::negative : StyledTitle::Role::positive);
}

}  // namespace

StyledTitle attributedTitle(const MetalPriceTick& tick, MetalSeries primaryMetal,
                            DisplayMode displayMode, const VaultEntry& vaultEntry,
                            const QString& locale, bool discreet) {
    bool vault = false;
    bool delta = false;
    switch (displayMode.value()) {
        case DisplayMode::priceOnly:
            break;
        case DisplayMode::priceAndDelta:
            delta = true;
            break;
        case DisplayMode::vaultValue:
            vault = true;
            break;
        case DisplayMode::vaultValueAndDelta:
            vault = true;
            delta = true;
            break;
    }
    QString amount;
    if (vault && discreet) {
        amount = PriceFormatter::masked(tick.currency(), locale);
    } else {
        amount = PriceFormatter::compact(
            vault ? vaultEntry.value(primaryMetal, tick) : tick.value(), tick.currency(), locale);
    }
    StyledTitle title{primaryMetal.symbolForUI() + QLatin1Char(' ') + amount, {}};
    if (delta) {
        appendColoredDelta(title, tick.significantChangePercent(), locale);
    }
    return title;
}

}  // namespace mintlux::MenuBarTitleFormatter
