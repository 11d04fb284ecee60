#include "QuantityText.h"

#include "IcuBridge.h"

#include <memory>
#include <optional>
#include <string>

#include <QByteArray>

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

namespace mintlux::QuantityText {

namespace {

// The whole text as the locale writes numbers, exactly; nothing when any of it is left over.
std::optional<Decimal> parseInLocale(const QString& text, const QString& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> reader(
        icu::NumberFormat::createInstance(IcuBridge::locale(locale), status));
    if (U_FAILURE(status) || !reader) {
        return std::nullopt;
    }
    reader->setLenient(false);
    const icu::UnicodeString input = IcuBridge::toIcu(text);
    icu::Formattable result;
    icu::ParsePosition position(0);
    reader->parse(input, result, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length()) {
        return std::nullopt;
    }
    const icu::StringPiece digits = result.getDecimalNumber(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return Decimal::parse(std::string_view(digits.data(), static_cast<std::size_t>(digits.size())));
}

}  // namespace

QString format(const Decimal& value, const QString& locale) {
    using icu::number::NumberFormatter;
    using icu::number::Precision;
    const std::string digits = value.toString();
    UErrorCode status = U_ZERO_ERROR;
    const icu::number::FormattedNumber formatted =
        NumberFormatter::withLocale(IcuBridge::locale(locale))
            .precision(Precision::minMaxFraction(0, 6))
            .grouping(UNUM_GROUPING_OFF)
            .roundingMode(UNUM_ROUND_HALFEVEN)
            .formatDecimal(
                icu::StringPiece(digits.data(), static_cast<std::int32_t>(digits.size())), status);
    const icu::UnicodeString text = formatted.toString(status);
    if (U_FAILURE(status) || text.isEmpty()) {
        return value.toQString();
    }
    return IcuBridge::fromIcu(text);
}

Decimal parse(const QString& text, const QString& locale) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return Decimal(0);
    }
    QString plain = trimmed;
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    if (auto number = Decimal::parse(QStringView(plain))) {
        return *number;
    }
    // "1.234,5" in German, "1,234.5" in English, Arabic-Indic digits: the user's own way of
    // writing numbers, which the field itself uses when it shows a stored quantity.
    return parseInLocale(trimmed, locale).value_or(Decimal(0));
}

std::optional<Decimal> parseAmount(const QString& text, const QString& locale) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    if (auto number = parseInLocale(trimmed, locale)) {
        return number;
    }
    QString plain = trimmed;
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    return Decimal::parse(QStringView(plain));
}

}  // namespace mintlux::QuantityText
