#include "PriceFormatter.h"

#include "IcuBridge.h"
#include "market/DecimalLimits.h"

#include <cstdint>
#include <optional>
#include <string>

#include <QByteArray>
#include <QLocale>

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/unistr.h>

namespace mintlux::PriceFormatter {

namespace {

using icu::number::LocalizedNumberFormatter;
using icu::number::NumberFormatter;
using icu::number::Precision;

// An amount held at the decimal's limit is not the true one (that was too large to compute).
const QString kPlaceholder = QStringLiteral("\u2014");

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

QString money(const Decimal& value, Currency currency, int fractionDigits, const QString& locale) {
    if (isSaturated(value)) {
        return kPlaceholder;
    }
    const QByteArray code = currency.rawValue().toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    const icu::CurrencyUnit unit(icu::StringPiece(code.constData(), 3), status);
    if (U_SUCCESS(status)) {
        const LocalizedNumberFormatter formatter =
            NumberFormatter::withLocale(IcuBridge::locale(locale))
                .unit(unit)
                .precision(Precision::fixedFraction(fractionDigits))
                .roundingMode(UNUM_ROUND_HALFEVEN);
        if (auto text = format(formatter, value)) {
            return *text;
        }
    }
    return currency.symbol() + value.toQString();
}

}  // namespace

QString userLocale() {
    const QLocale system = QLocale::system();
    // What ICU itself makes of the POSIX locale; Qt calls it "C", which ICU does not know.
    if (system.language() == QLocale::C) {
        return QStringLiteral("en_US_POSIX");
    }
    return system.bcp47Name();
}

QString compact(const Decimal& value, Currency currency, const QString& locale) {
    static const Decimal hundred(100);
    return money(value, currency, value < hundred ? 2 : 0, locale);
}

QString full(const Decimal& value, Currency currency, const QString& locale) {
    return money(value, currency, 2, locale);
}

QString masked(Currency currency, const QString& locale) {
    QString text = money(Decimal(0), currency, 2, locale);
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isDigit()) {
            first = first < 0 ? i : first;
            last = i;
        }
    }
    if (first < 0) {
        return currency.symbol() + kMask;
    }
    return text.replace(first, last - first + 1, kMask);
}

QString percent(const Decimal& value, const QString& locale) {
    if (isSaturated(value)) {
        return kPlaceholder;
    }
    const LocalizedNumberFormatter formatter =
        NumberFormatter::withLocale(IcuBridge::locale(locale))
            .precision(Precision::fixedFraction(2))
            .grouping(UNUM_GROUPING_OFF)
            .roundingMode(UNUM_ROUND_HALFEVEN);
    return format(formatter, value).value_or(value.toQString()) + QLatin1Char('%');
}

}  // namespace mintlux::PriceFormatter
