#pragma once

#include "market/Currency.h"
#include "market/Decimal.h"

#include <QString>

// Money and percentage texts for every surface. Amounts go to the number formatter as decimal
// text, never through a double, and are rounded half to even.
//
// `locale` is an ICU locale id ("de_DE") or a BCP 47 tag ("de-DE"); by default the user's, from
// the environment the way Qt reads it.
namespace mintlux::PriceFormatter {

QString userLocale();

// The status item's form: two fraction digits below 100, none from 100 up. The choice is made
// on the exact amount before rounding, so 99.999 shows as 100.00.
QString compact(const Decimal& value, Currency currency, const QString& locale = userLocale());

// Always two fraction digits.
QString full(const Decimal& value, Currency currency, const QString& locale = userLocale());

// Discreet mode's stand-in for a quantity: the same five dots whatever it hides, so not even the
// number's length shows.
inline const QString kMask = QStringLiteral("\u2022\u2022\u2022\u2022\u2022");

// Discreet mode's stand-in for an amount: the mask where the locale puts the figures, with the
// currency's sign where it puts that.
QString masked(Currency currency, const QString& locale = userLocale());

// `value` already in percent (1.5 is one and a half percent): two fraction digits, no grouping,
// the locale's digits and minus sign, then "%".
QString percent(const Decimal& value, const QString& locale = userLocale());

}  // namespace mintlux::PriceFormatter
