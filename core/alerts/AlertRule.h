#pragma once

#include "json/Json.h"
#include "market/Currency.h"
#include "market/Decimal.h"
#include "market/Instant.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/Vocabulary.h"

#include <optional>
#include <vector>

#include <QString>

namespace mintlux {

namespace detail {
enum class AlertConditionCase : std::uint8_t { above, below, upBy, downBy };
}

// What a rule watches: the price against a level, or the day's change against the previous
// close in percent.
class AlertCondition : public Vocabulary<AlertCondition, detail::AlertConditionCase, 4> {
public:
    using enum detail::AlertConditionCase;
    constexpr AlertCondition(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    static constexpr std::array<std::u16string_view, 4> kRawValues{u"above", u"below", u"upBy",
                                                                   u"downBy"};
    static constexpr std::string_view kTypeName = "AlertCondition";
};

// One price alert with its state. The level keeps the currency and unit it was made in, so a
// change of the display settings never reinterprets it; the state is stored with the rule so a
// restart neither repeats nor loses a firing.
struct AlertRule {
    // Stable across edits and restarts; names the rule's notification.
    QString id;
    MetalSeries metal = MetalSeries::gold;
    AlertCondition condition = AlertCondition::above;
    // A price for above/below, a percentage (2.5 is 2.5 %) for upBy/downBy; positive.
    Decimal level;
    Currency currency = Currency::usd;
    MetalUnit unit = MetalUnit::troyOunce;
    bool repeating = false;
    bool enabled = true;

    // Armed: the price was last seen on the safe side, so the next crossing fires. A new rule
    // starts disarmed and arms on its first good quote on the safe side.
    bool armed = false;
    std::optional<Instant> lastFired;
    std::optional<Instant> snoozedUntil;

    bool isPercent() const {
        return condition == AlertCondition::upBy || condition == AlertCondition::downBy;
    }
    // The state a fresh or edited rule starts from.
    void resetState() {
        armed = false;
        lastFired.reset();
        snoozedUntil.reset();
    }

    // {"id":"…","metal":"XAU","condition":"above","level":2400,"currency":"USD",
    //  "unit":"troyOunce","repeating":false,"enabled":true,"armed":true,
    //  "lastFired":"…","snoozedUntil":"…"}; the two dates only when set.
    void writeJson(JsonWriter& w) const;
    static AlertRule readJson(JsonValue& v);

    friend bool operator==(const AlertRule&, const AlertRule&) = default;
};

// All rules, as stored: a JSON array. A rule that cannot be read is dropped on its own; the
// others stay.
struct AlertRuleList {
    std::vector<AlertRule> rules;

    void writeJson(JsonWriter& w) const;
    static AlertRuleList readJson(JsonValue& v);
};

}  // namespace mintlux
