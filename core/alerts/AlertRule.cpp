#include "alerts/AlertRule.h"

#include "json/JsonValue.h"

namespace mintlux {

namespace {

void writeOptionalDate(JsonWriter& w, std::string_view key, const std::optional<Instant>& when) {
    if (when) {
        w.key(key).date(*when);
    }
}

}  // namespace

void AlertRule::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("id").string(QStringView(id));
    w.key("metal");
    metal.writeJson(w);
    w.key("condition");
    condition.writeJson(w);
    w.key("level").number(level);
    w.key("currency");
    currency.writeJson(w);
    w.key("unit");
    unit.writeJson(w);
    w.key("repeating").boolean(repeating);
    w.key("enabled").boolean(enabled);
    w.key("armed").boolean(armed);
    writeOptionalDate(w, "lastFired", lastFired);
    writeOptionalDate(w, "snoozedUntil", snoozedUntil);
    w.endObject();
}

AlertRule AlertRule::readJson(JsonValue& v) {
    std::optional<QString> id;
    std::optional<MetalSeries> metal;
    std::optional<AlertCondition> condition;
    std::optional<Decimal> level;
    std::optional<Currency> currency;
    std::optional<MetalUnit> unit;
    std::optional<bool> repeating;
    std::optional<bool> enabled;
    std::optional<bool> armed;
    std::optional<Instant> lastFired;
    std::optional<Instant> snoozedUntil;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "id") {
            field.readOnce(id, &JsonValue::qstring);
        } else if (key == "metal") {
            field.readOnce(metal, &MetalSeries::readJson);
        } else if (key == "condition") {
            field.readOnce(condition, &AlertCondition::readJson);
        } else if (key == "level") {
            field.readOnce(level, &JsonValue::decimal);
        } else if (key == "currency") {
            field.readOnce(currency, &Currency::readJson);
        } else if (key == "unit") {
            field.readOnce(unit, &MetalUnit::readJson);
        } else if (key == "repeating") {
            field.readOnce(repeating, &JsonValue::boolean);
        } else if (key == "enabled") {
            field.readOnce(enabled, &JsonValue::boolean);
        } else if (key == "armed") {
            field.readOnce(armed, &JsonValue::boolean);
        } else if (key == "lastFired") {
            field.readOnce(lastFired, &JsonValue::date);
        } else if (key == "snoozedUntil") {
            field.readOnce(snoozedUntil, &JsonValue::date);
        } else {
            field.skip();
        }
    });
    AlertRule rule;
    rule.id = v.take(id, "id");
    rule.metal = v.take(metal, "metal");
    rule.condition = v.take(condition, "condition");
    rule.level = v.take(level, "level");
    rule.currency = v.take(currency, "currency");
    rule.unit = v.take(unit, "unit");
    rule.repeating = repeating.value_or(false);
    rule.enabled = enabled.value_or(true);
    rule.armed = armed.value_or(false);
    rule.lastFired = lastFired;
    rule.snoozedUntil = snoozedUntil;
    // A rule no price can cross would sit in the list doing nothing while looking active.
    if (rule.id.isEmpty() || rule.level <= Decimal(0)) {
        v.fail(DecodingError::Kind::dataCorrupted, "Alert rule without id or positive level");
    }
    return rule;
}

void AlertRuleList::writeJson(JsonWriter& w) const {
    w.beginArray();
    for (const AlertRule& rule : rules) {
        rule.writeJson(w);
    }
    w.endArray();
}

AlertRuleList AlertRuleList::readJson(JsonValue& v) {
    AlertRuleList list;
    // Each rule is decoded from its own text, so one bad rule costs only itself.
    JsonParser parser;
    v.forEachElement([&](JsonValue& element) {
        const std::string_view raw = element.rawJson();
        try {
            list.rules.push_back(Json::decode<AlertRule>(
                QByteArrayView(raw.data(), static_cast<qsizetype>(raw.size())), parser));
        } catch (const DecodingError&) {
        }
    });
    return list;
}

}  // namespace mintlux
