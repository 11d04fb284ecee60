#include "MenuBarTitleFormatter.h"
#include "market/UnitConversion.h"
#include "support/Printers.h"

#include <optional>

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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const MetalPriceTick tick(MetalSeries::gold, *Decimal::parse(c.value), MetalUnit::troyOunce,
                                  c.currency, Instant{}, Decimal(2000));
        const StyledTitle title =
            MenuBarTitleFormatter::attributedTitle(tick, c.metal, c.mode, ounce, c.locale);
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

}  // namespace
