#pragma once

#include "alerts/AlertRule.h"
#include "market/PriceTick.h"

#include <chrono>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace mintlux {

// One rule that fired on one quote.
struct AlertFiring {
    AlertRule rule;  // as it stands after firing
    // The quote in the rule's currency and unit, and its day's change in percent.
    Decimal price;
    std::optional<Decimal> changePercent;
    // The quote's own time, not the time it was evaluated.
    Instant quoteTime;
    // The crossing first showed on the first quote after a market closure.
    bool atOpen = false;
};

// Decides which rules a quote fires. Rules fire on a crossing from the safe side to the far
// side, never on a level merely holding; they re-arm only once the price is back past a margin,
// and a repeating rule waits out a cooldown. Quotes that are not fresh, not positive, or a jump
// no later quote has confirmed yet are never evaluated.
class AlertEngine {
public:
    struct Tuning {
        // Re-arming needs the price this far back past the level: a percentage of a price
        // level, or percentage points of a day's change.
        Decimal rearmMarginPercent = Decimal::parse("0.25").value();
        std::chrono::seconds cooldown{3600};
        // A move larger than this from the previous quote waits for the next one to confirm it.
        Decimal spikePercent = Decimal(5);
    };

    struct Result {
        std::vector<AlertFiring> firings;
        // Some rule's stored state changed (armed, fired, snooze over): write the rules back.
        bool rulesChanged = false;
    };

    AlertEngine() = default;
    explicit AlertEngine(Tuning tuning) : m_tuning(std::move(tuning)) {}

    // `fresh`: the feed passes the same test as the "Live" state. `marketOpen`: the spot market
    // trades at `now`; while it does not, quotes are the last close and nothing is evaluated.
    Result evaluate(std::vector<AlertRule>& rules, const MetalPriceTick& tick, bool fresh,
                    bool marketOpen, Instant now);

    const Tuning& tuning() const { return m_tuning; }

private:
    struct Screen {
        std::optional<MetalPriceTick> accepted;
        // A jump waiting for confirmation.
        std::optional<MetalPriceTick> pending;
        bool closedSince = false;
    };

    // The quote to evaluate, or none while it is held back.
    std::optional<MetalPriceTick> screen(Screen& screen, const MetalPriceTick& tick) const;
    bool isJump(const MetalPriceTick& from, const MetalPriceTick& to) const;

    Tuning m_tuning;
    std::map<std::pair<std::size_t, std::size_t>, Screen> m_screens;
};

}  // namespace mintlux
