#include "DecimalTesting.h"
#include "alerts/AlertEngine.h"
#include "alerts/AlertRule.h"

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::dec;
using Cond = AlertCondition;
using namespace std::chrono_literals;

namespace {

const Instant kStart = Instant{} + 24h * 20000;

// One poll: the price (per troy ounce, USD; the previous close is 2,400), minutes after the
// start, and whether the feed is live and the market open.
struct Step {
    const char* price;
    int minute;
    bool fresh = true;
    bool open = true;
};

AlertRule rule(Cond condition, const char* level, bool repeating = false) {
    AlertRule r;
    r.id = QStringLiteral("r1");
    r.condition = condition;
    r.level = dec(level);
    r.repeating = repeating;
    return r;
}

// Runs the steps and writes one character per step: 'F' fired, '.' not.
std::string run(AlertEngine& engine, std::vector<AlertRule>& rules, const std::vector<Step>& steps,
                std::vector<AlertFiring>* firings = nullptr) {
    std::string out;
    for (const Step& step : steps) {
        const Instant at = kStart + std::chrono::minutes(step.minute);
        const MetalPriceTick tick(MetalSeries::gold, dec(step.price), MetalUnit::troyOunce,
                                  Currency::usd, at, dec("2400"));
        auto result = engine.evaluate(rules, tick, step.fresh, step.open, at);
        out += result.firings.empty() ? '.' : 'F';
        if (firings) {
            firings->insert(firings->end(), result.firings.begin(), result.firings.end());
        }
    }
    return out;
}

TEST(AlertEngine, FiresOnCrossingsOnlyAndRearmsPastTheMargin) {
    const struct {
        const char* name;
        AlertRule rule;
        std::vector<Step> steps;
        std::string expected;
    } cases[] = {
        {"hovering around the level fires once",
         rule(Cond::above, "2400", true),
         {{"2399", 0}, {"2401", 1}, {"2399", 2}, {"2401", 3}, {"2399.5", 4}, {"2401", 200}},
         ".F...."},
        // 0.25 % of 2,400 is 6: 2,394 is back past the margin, 2,394.01 is not.
        {"re-arms exactly at the margin",
         rule(Cond::above, "2400", true),
         {{"2399", 0}, {"2401", 1}, {"2394", 2}, {"2401", 200}},
         ".F.F"},
        {"inside the margin stays disarmed",
         rule(Cond::above, "2400", true),
         {{"2399", 0}, {"2401", 1}, {"2394.01", 2}, {"2401", 200}},
         ".F.."},
        {"the level itself is not beyond it",
         rule(Cond::above, "2400"),
         {{"2399", 0}, {"2400", 1}, {"2400.01", 2}},
         "..F"},
        {"a rule made beyond the level waits for a crossing",
         rule(Cond::above, "2400"),
         {{"2410", 0}, {"2420", 1}, {"2390", 2}, {"2405", 3}},
         "...F"},
        {"a once rule never fires twice",
         rule(Cond::below, "2400"),
         {{"2401", 0}, {"2399", 1}, {"2420", 2}, {"2399", 300}},
         ".F.."},
        {"a repeating rule waits out the cooldown, then fires if still beyond",
         rule(Cond::below, "2400", true),
         {{"2401", 0}, {"2399", 1}, {"2420", 2}, {"2399", 30}, {"2398", 61}, {"2398", 62}},
         ".F..F."},
        {"stale, zero, negative and closed-market quotes are never evaluated",
         rule(Cond::above, "2400"),
         {{"2399", 0},
          {"2450", 1, false},
          {"0", 2},
          {"-2450", 3},
          {"2450", 4, true, false},
          {"2399", 5},
          {"2401", 6}},
         "......F"},
        {"a one-tick spike fires nothing until the next quote confirms it",
         rule(Cond::above, "2400"),
         {{"2300", 0}, {"2450", 1}, {"2300", 2}, {"2450", 3}, {"2451", 4}},
         "....F"},
        {"the same spiking quote twice confirms nothing",
         rule(Cond::above, "2400"),
         {{"2300", 0}, {"2450", 1}, {"2450", 1}},
         "..."},
        // The previous close is 2,400: +2 % is 2,448, a margin of 0.25 points is +1.75 %.
        {"day's change up by",
         rule(Cond::upBy, "2", true),
         {{"2400", 0}, {"2448", 1}, {"2442.01", 2}, {"2448", 100}, {"2442", 101}, {"2448", 200}},
         ".F...F"},
        {"day's change down by",
         rule(Cond::downBy, "1"),
         {{"2390", 0}, {"2376.01", 1}, {"2376", 2}},
         "..F"},
    };
    for (const auto& c : cases) {
        AlertEngine engine;
        std::vector<AlertRule> rules{c.rule};
        EXPECT_EQ(run(engine, rules, c.steps), c.expected) << c.name;
    }
}

TEST(AlertEngine, FiringCarriesTheQuoteAndStateSurvivesARestart) {
    AlertEngine engine;
    std::vector<AlertRule> rules{rule(Cond::above, "75", true)};
    rules[0].unit = MetalUnit::gram;  // 2,400 per troy ounce is 77.16 per gram
    std::vector<AlertFiring> firings;
    // The market closes between the two quotes: the crossing shows at the open.
    EXPECT_EQ(
        run(engine, rules, {{"2300", 0}, {"2310", 60, true, false}, {"2400", 3000}}, &firings),
        "..F");
    ASSERT_EQ(firings.size(), 1U);
    EXPECT_TRUE(firings[0].atOpen);
    EXPECT_EQ(firings[0].quoteTime, kStart + 3000min);
    EXPECT_GT(firings[0].price, dec("77.16"));
    EXPECT_LT(firings[0].price, dec("77.17"));
    EXPECT_FALSE(rules[0].armed);

    // A new process with the stored rules and the condition still holding: nothing.
    AlertEngine restarted;
    EXPECT_EQ(run(restarted, rules, {{"2400", 3001}, {"2401", 3002}}), "..");

    // A snooze holds a crossing back until it ends.
    rules[0].armed = true;
    rules[0].lastFired.reset();
    rules[0].snoozedUntil = kStart + 3100min;
    EXPECT_EQ(run(restarted, rules, {{"2401", 3050}, {"2401", 3101}}), ".F");
    EXPECT_FALSE(rules[0].snoozedUntil);

    // A last firing from a hand-edited file centuries back is long past its cooldown.
    rules[0].armed = true;
    rules[0].lastFired = Instant{} - 24h * 365 * 250;
    EXPECT_EQ(run(restarted, rules, {{"2401", 3200}}), "F");
}

TEST(AlertRuleList, OneUnreadableRuleCostsOnlyItself) {
    const QByteArray stored = R"([
        {"id":"a","metal":"XAU","condition":"above","level":2400,"currency":"USD",
         "unit":"troyOunce","repeating":true,"enabled":true,"armed":true,
         "lastFired":"2026-12-07T14:32:00Z"},
        {"id":"b","metal":"XAU","condition":"sideways","level":1,"currency":"USD","unit":"gram"},
        {"id":"c","metal":"XAG","condition":"below","level":0,"currency":"USD","unit":"gram"},
        {"id":"d","metal":"XPD","condition":"downBy","level":3.5,"currency":"EUR","unit":"gram"}
    ])";
    const auto list = Json::decode<AlertRuleList>(stored);
    ASSERT_EQ(list.rules.size(), 2U);
    EXPECT_EQ(list.rules[0].id, QStringLiteral("a"));
    EXPECT_TRUE(list.rules[0].lastFired.has_value());
    EXPECT_EQ(list.rules[1].condition, Cond::downBy);
    EXPECT_EQ(list.rules[1].currency, Currency::eur);
    // Defaults for what an older file lacks; a round trip keeps everything.
    EXPECT_TRUE(list.rules[1].enabled);
    EXPECT_FALSE(list.rules[1].armed);
    EXPECT_EQ(Json::decode<AlertRuleList>(Json::encode(list)).rules, list.rules);
}

}  // namespace
