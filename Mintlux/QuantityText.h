#pragma once

#include "PriceFormatter.h"
#include "market/Decimal.h"

#include <optional>

#include <QString>

// The vault's quantity field: how a stored quantity is shown and how typed text is read back.
//
// Reading accepts "." or "," as the decimal separator without any locale, and also whatever the
// user's locale writes (its own separators, grouping and digits), so a number the field itself
// showed is never read back as something else. Text that is no number reads as 0.
namespace mintlux::QuantityText {

// Up to six fraction digits, half to even, no grouping, in the locale's digits and separator.
QString format(const Decimal& value, const QString& locale = PriceFormatter::userLocale());

Decimal parse(const QString& text, const QString& locale = PriceFormatter::userLocale());

// For amounts written with grouping, such as prices: the user's locale reads the text first, so
// "2,400" in English or "2.400" in German is two thousand four hundred, not 2.4; text the locale
// cannot read whole goes on as in parse(). Nothing when the text is no number at all.
std::optional<Decimal> parseAmount(const QString& text,
                                   const QString& locale = PriceFormatter::userLocale());

}  // namespace mintlux::QuantityText
