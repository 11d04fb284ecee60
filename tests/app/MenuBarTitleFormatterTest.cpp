#include "IcuNumbers.h"
#include "LocaleNumbers.h"
#include "MenuBarTitleFormatter.h"
#include "PriceFormatter.h"
#include "market/UnitConversion.h"
#include "support/Printers.h"

#include <optional>
#include <string_view>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using D = DisplayMode;
using Role = StyledTitle::Role;

namespace {

TEST(MenuBarTitleFormatter, TitleByModeWithTheChangeAsColouredArrowAndMagnitude) {
    const VaultEntry ounce{1, MetalUnit::troyOunce, KaratGrade::k24};
    const struct {
        D mode;
        const char* value;  // against a previous close of 2000
        const char16_t* text;
        std::optional<Role> role;
        MetalSeries metal = MetalSeries::gold;
        Currency currency = Currency::usd;
        QString locale = u"en_US"_s;
        bool discreet = false;
    } cases[] = {
        {D::priceOnly, "2024.68", u"Au $2,025", std::nullopt},
        {D::priceAndDelta, "2024.68", u"Au $2,025 ▲1.23%", Role::positive},
        // 1 oz of 24K at 2024.68 is worth 2024.47...
        {D::vaultValue, "2024.68", u"Au $2,024", std::nullopt},
        {D::vaultValueAndDelta, "2024.68", u"Au $2,024 ▲1.23%", Role::positive},
        {D::priceAndDelta, "1990.88", u"Au $1,991 ▼0.46%", Role::negative},
        {D::priceAndDelta, "1979.9", u"Au $1,980 ▼1.00%", Role::negative},
        // Under a hundredth of a percent is no change.
        {D::priceAndDelta, "1999.9", u"Au $2,000", std::nullopt},
        // The symbol is the primary metal's and the currency the tick's, whatever they are.
        {D::priceAndDelta, "1960", u"Ag €1,960 ▼2.00%", Role::negative, MetalSeries::silver,
         Currency::eur},
        {D::priceAndDelta, "2024.68", u"Au 2.025\u00A0$ ▲1,23%", Role::positive, MetalSeries::gold,
         Currency::usd, u"de_DE"_s},
        // Discreet hides the holding's worth behind a mask of fixed width, never the price.
        {D::vaultValueAndDelta, "2024.68", u"Au $••••• ▲1.23%", Role::positive, MetalSeries::gold,
         Currency::usd, u"en_US"_s, true},
        {D::vaultValue, "1990.88", u"Au •••••\u00A0€", std::nullopt, MetalSeries::gold,
         Currency::eur, u"de_DE"_s, true},
        {D::priceAndDelta, "2024.68", u"Au $2,025 ▲1.23%", Role::positive, MetalSeries::gold,
         Currency::usd, u"en_US"_s, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const MetalPriceTick tick(MetalSeries::gold, *Decimal::parse(c.value), MetalUnit::troyOunce,
                                  c.currency, Instant{}, Decimal(2000));
        const StyledTitle title = MenuBarTitleFormatter::attributedTitle(
            tick, c.metal, c.mode, ounce, c.locale, c.discreet);
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(title.text, text);
        const qsizetype tail = text.indexOf(u' ', 3);
        QList<StyledTitle::Run> runs;
        if (c.role) {
            runs.append({tail, text.size() - tail, *c.role});
        }
        EXPECT_EQ(title.runs, runs);
    }
}

TEST(MenuBarTitleFormatter, NoPreviousCloseNoChangeAndAnEmptyVaultShowsCents) {
    const MetalPriceTick tick(MetalSeries::gold, 2000, MetalUnit::troyOunce, Currency::usd,
                              Instant{}, std::nullopt);
    EXPECT_EQ(MenuBarTitleFormatter::attributedTitle(tick, MetalSeries::gold, D::vaultValueAndDelta,
                                                     VaultEntry::defaultEntry(), u"en_US"_s),
              (StyledTitle{u"Au $0.00"_s, {}}));
}

// Figures a decodable document can hold: nothing may throw, a change past the decimal's range is
// no change, and an amount that could only be held at the limit is the placeholder.
TEST(MenuBarTitleFormatter, FiguresPastTheDecimalRangeNeverFail) {
    const Decimal huge = *Decimal::parse("1e100");
    const Decimal max = *Decimal::parse(std::string(38, '9') + "e127");
    const auto tick = [](Decimal value, Decimal close) {
        return MetalPriceTick(MetalSeries::gold, value, MetalUnit::troyOunce, Currency::usd,
                              Instant{}, close);
    };
    const VaultEntry kilos{huge, MetalUnit::kilo, KaratGrade::k24};
    const struct {
        MetalPriceTick tick;
        D mode;
        const char16_t* text;
    } cases[] = {
        {tick(huge, *Decimal::parse("1e-100")), D::priceAndDelta, u"Au $10,000,000"},
        {tick(huge, *Decimal::parse("1e-100")), D::vaultValueAndDelta, u"Au —"},
        {tick(max, -max), D::priceAndDelta, u"Au —"},
        {tick(Decimal(-3), *Decimal::parse("1e-100")), D::vaultValue, u"Au -$964,425,944"},
        {tick(Decimal(-3), *Decimal::parse("1e-100")), D::priceAndDelta, u"Au -$3.00 ▼"},
    };
    for (const auto& c : cases) {
        const StyledTitle title = MenuBarTitleFormatter::attributedTitle(c.tick, MetalSeries::gold,
                                                                         c.mode, kilos, u"en_US"_s);
        EXPECT_TRUE(title.text.startsWith(QString::fromUtf16(c.text))) << title.text.toStdString();
    }
    // The chart's live price in kilos, the popup row's change.
    EXPECT_EQ(PriceFormatter::full(
                  UnitConversion::convertPrice(max, MetalUnit::troyOunce, MetalUnit::kilo),
                  Currency::usd),
              u"—"_s);
    EXPECT_FALSE(tick(huge, *Decimal::parse("1e-100")).significantChangePercent());
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
        const auto format = c.compact ? &PriceFormatter::compact : &PriceFormatter::full;
        EXPECT_EQ(format(*Decimal::parse(c.amount), c.currency, QString::fromLatin1(c.locale)),
                  QString::fromUtf16(c.expected))
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

// The title's amounts are made from the compiled-in shapes instead of ICU: every currency, in
// the locales users run with and the spellings they arrive in, at the rounding edges and the
// decimal's extremes, must read exactly as ICU writes them.
TEST(LocaleNumbers, AmountsReadExactlyAsIcuWritesThem) {
    const char* const locales[] = {"en",    "en_US", "en-US", "de", "de_DE", "de-DE", "en-IN",
                                   "en_IN", "hi-IN", "fr-CH", "es", "ar-EG", "ar",    "ja"};
    const char* const amounts[] = {"0",
                                   "0.004",
                                   "0.005",
                                   "0.015",
                                   "0.025",
                                   "1.005",
                                   "99.994",
                                   "99.995",
                                   "99.999",
                                   "100.5",
                                   "101.5",
                                   "999.5",
                                   "1234.565",
                                   "1234.575",
                                   "12345.5",
                                   "234567.675",
                                   "12345678.905",
                                   "1e100",
                                   "1e-100",
                                   "99999999999999999999999999999999999999.5"};
    int covered = 0;
    for (const char* id : locales) {
        const QString locale = QString::fromLatin1(id);
        for (const char* text : amounts) {
            const Decimal amount = *Decimal::parse(std::string_view(text));
            for (const int digits : {0, 2}) {
                for (const Currency currency : Currency::allCases()) {
                    const auto fast = LocaleNumbers::money(amount, currency, digits, locale);
                    covered += fast ? 1 : 0;
                    if (fast) {
                        EXPECT_EQ(*fast, IcuNumbers::money(amount, currency, digits, locale))
                            << id << " " << text << " " << digits;
                    }
                }
                if (const auto fast = LocaleNumbers::plain(amount, digits, locale)) {
                    EXPECT_EQ(*fast, IcuNumbers::plain(amount, digits, locale))
                        << id << " " << text;
                }
            }
        }
        // The locales users run with are in the table, not left to ICU.
        if (std::string_view(id).size() <= 5) {
            EXPECT_TRUE(LocaleNumbers::money(Decimal(1), Currency::inr, 2, locale)) << id;
        }
    }
    EXPECT_GT(covered, 0);
    EXPECT_FALSE(LocaleNumbers::money(Decimal(-1), Currency::usd, 2, u"en"_s)) << "ICU's sign";
    EXPECT_FALSE(LocaleNumbers::money(Decimal(1), Currency::usd, 2, u"xx-YY"_s));
    EXPECT_EQ(PriceFormatter::compact(*Decimal::parse("234567.5"), Currency::inr, u"en-IN"_s),
              u"\u20B92,34,568"_s);
}

}  // namespace
