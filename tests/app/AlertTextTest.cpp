#include "AlertText.h"

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono_literals;

namespace {

TEST(AlertText, SummaryAndBodyInTheUsersLocaleWithTheQuotesOwnTime) {
    const Instant quoteTime = std::chrono::sys_days{std::chrono::December / 9 / 2026} + 14h + 32min;
    const auto firing = [&](AlertCondition condition, const char* level, MetalUnit unit,
                            const char* price, bool atOpen) {
        AlertRule rule;
        rule.metal = MetalSeries::gold;
        rule.condition = condition;
        rule.level = *Decimal::parse(std::string_view(level));
        rule.currency = Currency::usd;
        rule.unit = unit;
        return AlertFiring{rule, *Decimal::parse(std::string_view(price)),
                           Decimal::parse(std::string_view("-3.25")), quoteTime, atOpen};
    };
    const struct {
        AlertFiring firing;
        const char* locale;
        Instant now;
        const char* summary;
        const char* body;
    } cases[] = {
        {firing(AlertCondition::above, "2400", MetalUnit::troyOunce, "2401.2", false), "en_US",
         quoteTime + 1min, "Gold above $2,400.00", "$2,401.20 per troy ounce at 2:32\u202fPM"},
        {firing(AlertCondition::below, "75", MetalUnit::gram, "74.5", false), "de_DE",
         quoteTime + 1min, "Gold below 75,00\u00a0$", "74,50\u00a0$ per gram at 14:32"},
        // A crossing seen first after the weekend, and a quote from another day.
        {firing(AlertCondition::downBy, "3", MetalUnit::troyOunce, "2300", true), "en_US",
         quoteTime + 72h, "Gold down by 3.00% today",
         "$2,300.00 per troy ounce, -3.25% at the open, Dec 9, 2026, 2:32\u202fPM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AlertText::summary(c.firing.rule, QString::fromLatin1(c.locale)),
                  QString::fromUtf8(c.summary));
        EXPECT_EQ(
            AlertText::body(c.firing, c.now, QString::fromLatin1(c.locale), QStringLiteral("UTC")),
            QString::fromUtf8(c.body));
    }
}

}  // namespace
