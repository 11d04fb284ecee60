#include "market/PriceTick.h"

#include "json/JsonValue.h"

namespace mintlux {

template <PricingSeries Series, PricingUnit Unit>
void PriceTick<Series, Unit>::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("series");
    m_series.writeJson(w);
    w.key("value").number(m_value);
    w.key("unit");
    m_unit.writeJson(w);
    w.key("currency");
    m_currency.writeJson(w);
    w.key("timestamp").date(m_timestamp);
    if (m_prevClose) {
        w.key("prevClose").number(*m_prevClose);
    }
    w.endObject();
}

template <PricingSeries Series, PricingUnit Unit>
PriceTick<Series, Unit> PriceTick<Series, Unit>::readJson(JsonValue& v) {
    std::optional<Series> series;
    std::optional<Decimal> value;
    std::optional<Unit> unit;
    std::optional<Currency> currency;
    std::optional<Instant> timestamp;
    std::optional<std::optional<Decimal>> prevClose;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "series") {
            field.readOnce(series, &Series::readJson);
        } else if (key == "value") {
            field.readOnce(value, &JsonValue::decimal);
        } else if (key == "unit") {
            field.readOnce(unit, &Unit::readJson);
        } else if (key == "currency") {
            field.readOnce(currency, &Currency::readJson);
        } else if (key == "timestamp") {
            field.readOnce(timestamp, &JsonValue::date);
        } else if (key == "prevClose") {
            field.readOnce(prevClose, &JsonValue::optionalDecimal);
        } else {
            field.skip();
        }
    });
    const Series s = v.take(series, "series");
    const Decimal val = v.take(value, "value");
    const Unit u = v.take(unit, "unit");
    const Currency c = v.take(currency, "currency");
    const Instant t = v.take(timestamp, "timestamp");
    return PriceTick(s, val, u, c, t, prevClose.value_or(std::nullopt));
}

template class PriceTick<MetalSeries, MetalUnit>;

}  // namespace mintlux
