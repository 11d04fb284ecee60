#include "PriceFormatter.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

QString money(bool compact, const char* amount, Currency currency, const char* locale) {
    const Decimal value = *Decimal::parse(amount);
    const QString id = QString::fromLatin1(locale);
    return compact ? PriceFormatter::compact(value, currency, id)
                   : PriceFormatter::full(value, currency, id);
}

TEST(PriceFormatter, MoneyWithFractionDigitsChosenOnTheExactAmountRoundedHalfToEven) {
    constexpr bool compact = true;
    constexpr bool full = false;
    const struct {
        bool compact;
        const char* amount;
        Currency currency;
        const char* locale;
        const char16_t* expected;
    } cases[] = {
        {compact, "2345.678", Currency::usd, "en_US", u"$2,346"},
        {compact, "100", Currency::usd, "en_US", u"$100"},
        {compact, "99.999", Currency::usd, "en_US", u"$100.00"},
        // A double would make these 100 and 0.125, and drop the cents or round down.
        {compact, "99.99999999999999999999", Currency::usd, "en_US", u"$100.00"},
        {full, "0.125000000000000000000000000001", Currency::usd, "en_US", u"$0.13"},
        {compact, "2.345", Currency::usd, "en_US", u"$2.34"},
        {compact, "2501.5", Currency::usd, "en_US", u"$2,502"},
        {compact, "-250", Currency::usd, "en_US", u"-$250.00"},
        {full, "2345.678", Currency::eur, "en_US", u"€2,345.68"},
        {full, "1234.5", Currency::aed, "en_US", u"AED\u00A01,234.50"},
        {compact, "2345.678", Currency::usd, "de_DE", u"2.346\u00A0$"},
        {full, "2345.678", Currency::eur, "de-DE", u"2.345,68\u00A0€"},
        {full, "234567.675", Currency::inr, "hi_IN", u"₹2,34,567.68"},
        {compact, "12345678.5", Currency::inr, "hi_IN", u"₹1,23,45,678"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(money(c.compact, c.amount, c.currency, c.locale), QString::fromUtf16(c.expected))
            << c.locale << " " << c.amount;
    }
}

TEST(PriceFormatter, PercentHasTwoPlacesNoGroupingAndTheValuesOwnSign) {
    const struct {
        const char* value;
        const char* locale;
        const char* expected;
    } cases[] = {
        {"1.234", "en_US", "1.23%"},
        {"-0.5", "en_US", "-0.50%"},
        {"1.005", "en_US", "1.00%"},
        {"1.015", "en_US", "1.02%"},
        {"12345.678", "en_US", "12345.68%"},
        {"1234.5678", "de_DE", "1234,57%"},
        {"1234567.891", "hi_IN", "1234567.89%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PriceFormatter::percent(*Decimal::parse(c.value), QString::fromLatin1(c.locale)),
                  QString::fromLatin1(c.expected));
    }
}

TEST(PriceFormatter, DefaultsToTheUsersLocale) {
    EXPECT_EQ(PriceFormatter::full(Decimal(1), Currency::eur),
              PriceFormatter::full(Decimal(1), Currency::eur, PriceFormatter::userLocale()));
}

}  // namespace
