#pragma once

#include "market/Currency.h"
#include "market/Decimal.h"

#include <optional>

#include <QString>

// Amounts formatted from the decimal's exact digits with the locale's own separators, digits,
// grouping and currency signs, without ICU. The shapes are ICU's, taken when the app was built
// (numbers/MakeNumberShapes.cpp) and kept only for locales where they reproduce ICU's text for
// every probe; anything else (negative amounts, locales not in the table) is for the caller to
// give to ICU.
namespace mintlux::LocaleNumbers {

struct Layout {
    QString prefix;
    QString suffix;
    QString decimal;
    QString group;
    int primary = 0;  // digits in the lowest group; 0: no grouping
    int secondary = 0;
    int minimumGrouping = 1;  // grouped only from primary + this many integer digits
    char16_t zero = u'0';
};

// `value` rounded half to even to `fractionDigits` in `layout`; none for a negative value.
std::optional<QString> format(const Decimal& value, int fractionDigits, const Layout& layout);

// As IcuNumbers' functions of the same names, where the table covers the locale.
std::optional<QString> money(const Decimal& value, Currency currency, int fractionDigits,
                             const QString& locale);
std::optional<QString> plain(const Decimal& value, int fractionDigits, const QString& locale);

// The table's key for a locale id: BCP 47 and ICU spellings alike ("de-DE", "de_DE").
QString key(const QString& locale);

}  // namespace mintlux::LocaleNumbers
