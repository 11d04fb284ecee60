#include "IcuNumbers.h"

#include "IcuBridge.h"

#include <cstdint>
#include <string>

#include <QByteArray>

#include <unicode/numberformatter.h>

namespace mintlux::IcuNumbers {

namespace {

using icu::number::LocalizedNumberFormatter;
using icu::number::NumberFormatter;
using icu::number::Precision;

std::optional<QString> format(const LocalizedNumberFormatter& formatter, const Decimal& value) {
    const std::string digits = value.toString();
    UErrorCode status = U_ZERO_ERROR;
    const icu::number::FormattedNumber formatted = formatter.formatDecimal(
        icu::StringPiece(digits.data(), static_cast<std::int32_t>(digits.size())), status);
    const icu::UnicodeString text = formatted.toString(status);
    if (U_FAILURE(status) || text.isEmpty()) {
        return std::nullopt;
    }
    return IcuBridge::fromIcu(text);
}

}  // namespace

std::optional<QString> money(const Decimal& value, Currency currency, int fractionDigits,
                             const QString& locale) {
    const QByteArray code = currency.rawValue().toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    const icu::CurrencyUnit unit(icu::StringPiece(code.constData(), 3), status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return format(NumberFormatter::withLocale(IcuBridge::locale(locale))
                      .unit(unit)
                      .precision(Precision::fixedFraction(fractionDigits))
                      .roundingMode(UNUM_ROUND_HALFEVEN),
                  value);
}

std::optional<QString> plain(const Decimal& value, int fractionDigits, const QString& locale) {
    return format(NumberFormatter::withLocale(IcuBridge::locale(locale))
                      .precision(Precision::fixedFraction(fractionDigits))
                      .grouping(UNUM_GROUPING_OFF)
                      .roundingMode(UNUM_ROUND_HALFEVEN),
                  value);
}

}  // namespace mintlux::IcuNumbers
