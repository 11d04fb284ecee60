#pragma once

#include "alerts/AlertRule.h"
#include "json/JsonWriter.h"

#include <ostream>

namespace mintlux {

// Failures show the rule as stored.
inline void PrintTo(const AlertRule& rule, std::ostream* os) {
    JsonWriter w;
    rule.writeJson(w);
    *os << w.take().toStdString();
}

namespace test {

// A fresh rule: enabled, once, per troy ounce, never armed or fired.
inline AlertRule alertRule(const QString& id, MetalSeries metal, AlertCondition condition,
                           Decimal level, Currency currency = Currency::usd) {
    AlertRule rule;
    rule.id = id;
    rule.metal = metal;
    rule.condition = condition;
    rule.level = level;
    rule.currency = currency;
    return rule;
}

}  // namespace test
}  // namespace mintlux
