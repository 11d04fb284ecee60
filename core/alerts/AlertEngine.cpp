#include "alerts/AlertEngine.h"

#include "market/UnitConversion.h"

#include <stdexcept>

namespace mintlux {

namespace {

const Decimal kHundred(100);

enum class Side { safe, between, far };

struct Reading {
    Decimal price;  // in the rule's unit
    std::optional<Decimal> changePercent;
};

std::optional<Reading> read(const AlertRule& rule, const MetalPriceTick& tick) {
    try {
        Reading reading{UnitConversion::convertPrice(tick.value(), tick.unit(), rule.unit),
                        tick.changePercent()};
        if (rule.isPercent() && !reading.changePercent) {
            return std::nullopt;
        }
        return reading;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Where the reading stands against the rule. `between` is past the level's safe side but inside
// the re-arm margin.
Side sideOf(const AlertRule& rule, const Reading& reading, const Decimal& marginPercent) {
    switch (rule.condition.value()) {
        case AlertCondition::above:
        case AlertCondition::below: {
            const Decimal margin = rule.level * marginPercent / kHundred;
            const bool above = rule.condition == AlertCondition::above;
            if (above ? reading.price > rule.level : reading.price < rule.level) {
                return Side::far;
            }
            const bool pastMargin =
                above ? reading.price <= rule.level - margin : reading.price >= rule.level + margin;
            return pastMargin ? Side::safe : Side::between;
        }
        case AlertCondition::upBy:
        case AlertCondition::downBy: {
            // Downward rules are the upward ones mirrored.
            const Decimal change = rule.condition == AlertCondition::upBy ? *reading.changePercent
                                                                          : -*reading.changePercent;
            if (change >= rule.level) {
                return Side::far;
            }
            return change <= rule.level - marginPercent ? Side::safe : Side::between;
        }
    }
    return Side::between;
}

}  // namespace

bool AlertEngine::isJump(const MetalPriceTick& from, const MetalPriceTick& to) const {
    try {
        const Decimal base = from.value();
        const Decimal moved =
            UnitConversion::convertPrice(to.value(), to.unit(), from.unit()) - base;
        return (moved / base * kHundred).magnitude() > m_tuning.spikePercent;
    } catch (const std::exception&) {
        return true;
    }
}

std::optional<MetalPriceTick> AlertEngine::screen(Screen& s, const MetalPriceTick& tick) const {
    if (!s.accepted) {
        s.accepted = tick;
        return tick;
    }
    if (!isJump(*s.accepted, tick)) {
        s.accepted = tick;
        s.pending.reset();
        return tick;
    }
    // The same quote seen twice is not a second quote: it confirms nothing.
    const bool repeated = s.pending && s.pending->timestamp() == tick.timestamp() &&
                          s.pending->value() == tick.value();
    if (s.pending && !repeated && !isJump(*s.pending, tick)) {
        s.accepted = tick;
        s.pending.reset();
        return tick;
    }
    s.pending = tick;
    return std::nullopt;
}

AlertEngine::Result AlertEngine::evaluate(std::vector<AlertRule>& rules, const MetalPriceTick& tick,
                                          bool fresh, bool marketOpen, Instant now) {
    Result result;
    Screen& s = m_screens[{tick.series().index(), tick.currency().index()}];
    if (!marketOpen) {
        s.closedSince = true;
        return result;
    }
    if (!fresh || tick.value() <= Decimal(0)) {
        return result;
    }
    const auto quote = screen(s, tick);
    if (!quote) {
        return result;
    }
    const bool atOpen = std::exchange(s.closedSince, false);

    for (AlertRule& rule : rules) {
        if (!rule.enabled || rule.metal != quote->series() || rule.currency != quote->currency()) {
            continue;
        }
        if (rule.snoozedUntil && *rule.snoozedUntil <= now) {
            rule.snoozedUntil.reset();
            result.rulesChanged = true;
        }
        const auto reading = read(rule, *quote);
        if (!reading) {
            continue;
        }
        Side side = Side::between;
        try {
            side = sideOf(rule, *reading, m_tuning.rearmMarginPercent);
        } catch (const std::exception&) {
            continue;  // a level past the decimal's range (a hand-edited file) crosses nothing
        }
        if (!rule.armed) {
            // Before its first firing a rule arms as soon as the price is short of the level;
            // after one, only once it is back past the margin, so hovering fires once.
            if (side == Side::safe || (side == Side::between && !rule.lastFired)) {
                rule.armed = true;
                result.rulesChanged = true;
            }
            continue;
        }
        if (side != Side::far) {
            continue;
        }
        // Held back, not spent: it fires when the wait is over if the price is still beyond.
        const bool snoozed = rule.snoozedUntil.has_value();
        // Compared, not subtracted: a stored date can be anything a file holds.
        const bool coolingDown =
            rule.repeating && rule.lastFired && *rule.lastFired > now - m_tuning.cooldown;
        if (snoozed || coolingDown) {
            continue;
        }
        rule.armed = false;
        rule.lastFired = now;
        if (!rule.repeating) {
            rule.enabled = false;
        }
        result.rulesChanged = true;
        result.firings.push_back(
            AlertFiring{rule, reading->price, reading->changePercent, quote->timestamp(), atOpen});
    }
    return result;
}

}  // namespace mintlux
