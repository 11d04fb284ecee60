#include "PriceFormatter.h"

#include "IcuNumbers.h"
#include "LocaleNumbers.h"
#include "market/DecimalLimits.h"

#include <optional>

#include <QLocale>

namespace mintlux::PriceFormatter {

namespace {

// An amount held at the decimal's limit is not the true one (that was too large to compute).
const QString kPlaceholder = QStringLiteral("\u2014");

QString money(const Decimal& value, Currency currency, int fractionDigits, const QString& locale) {
    if (isSaturated(value)) {
        return kPlaceholder;
    }
    // The compiled-in shapes first: the status item formats on every poll, and ICU's formatter
    // would keep megabytes of its code and data resident in an app that is otherwise idle.
    if (auto text = LocaleNumbers::money(value, currency, fractionDigits, locale)) {
        return *text;
    }
    if (auto text = IcuNumbers::money(value, currency, fractionDigits, locale)) {
        return *text;
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
    std::optional<QString> text = LocaleNumbers::plain(value, 2, locale);
    if (!text) {
        text = IcuNumbers::plain(value, 2, locale);
    }
    return text.value_or(value.toQString()) + QLatin1Char('%');
}

}  // namespace mintlux::PriceFormatter
