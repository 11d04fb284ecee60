#include "market/PricePoint.h"

#include "json/JsonValue.h"

namespace mintlux {

template <PricingUnit Unit>
void PricePoint<Unit>::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("timestamp").date(m_timestamp);
    w.key("value").number(m_value);
    w.key("unit");
    m_unit.writeJson(w);
    w.endObject();
}

template <PricingUnit Unit>
PricePoint<Unit> PricePoint<Unit>::readJson(JsonValue& v) {
    std::optional<Instant> timestamp;
    std::optional<Decimal> value;
    std::optional<Unit> unit;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "timestamp") {
            field.readOnce(timestamp, &JsonValue::date);
        } else if (key == "value") {
            field.readOnce(value, &JsonValue::decimal);
        } else if (key == "unit") {
            field.readOnce(unit, &Unit::readJson);
        } else {
            field.skip();
        }
    });
    const Instant t = v.take(timestamp, "timestamp");
    const Decimal val = v.take(value, "value");
    return PricePoint(t, val, v.take(unit, "unit"));
}

template class PricePoint<MetalUnit>;

}  // namespace mintlux
