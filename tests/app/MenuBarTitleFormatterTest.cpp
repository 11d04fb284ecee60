#include "MenuBarTitleFormatter.h"
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

}  // namespace
