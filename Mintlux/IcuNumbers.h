#pragma once

#include "market/Currency.h"
#include "market/Decimal.h"

#include <optional>

#include <QString>

// Amounts through ICU's number formatter: the reference for every locale, and the way for those
// the compiled-in shapes (LocaleNumbers) do not cover. `locale` as PriceFormatter takes it.
namespace mintlux::IcuNumbers {

// Rounded half to even to `fractionDigits`, with the currency's sign where the locale puts it.
std::optional<QString> money(const Decimal& value, Currency currency, int fractionDigits,
                             const QString& locale);

// Rounded half to even to `fractionDigits`, without grouping, in the locale's digits.
std::optional<QString> plain(const Decimal& value, int fractionDigits, const QString& locale);

}  // namespace mintlux::IcuNumbers
