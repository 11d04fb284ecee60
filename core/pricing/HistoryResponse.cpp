#include "pricing/HistoryResponse.h"

#include "json/JsonValue.h"

namespace mintlux {

void HistoryResponse::HistoryPoint::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("t").date(t);
    w.key("v").number(v);
    w.endObject();
}

HistoryResponse::HistoryPoint HistoryResponse::HistoryPoint::readJson(JsonValue& v) {
    std::optional<Instant> t;
    std::optional<Decimal> value;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "t") {
            field.readOnce(t, &JsonValue::date);
        } else if (key == "v") {
            field.readOnce(value, &JsonValue::decimal);
        } else {
            field.skip();
        }
    });
    const Instant time = v.take(t, "t");
    return HistoryPoint{time, v.take(value, "v")};
}

std::size_t qHash(const HistoryResponse& r, std::size_t seed) noexcept {
    seed = qHashMulti(seed, r.series, r.currency, r.unit, r.range);
    return qHashRange(r.points.begin(), r.points.end(), seed);
}

void HistoryResponse::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("series").string(series);
    w.key("currency").string(currency);
    w.key("unit").string(unit);
    w.key("range").string(range);
    w.key("points").beginArray();
    for (const HistoryPoint& p : points) {
        p.writeJson(w);
    }
    w.endArray();
    w.endObject();
}

HistoryResponse HistoryResponse::readJson(JsonValue& v) {
    std::optional<QString> series;
    std::optional<QString> currency;
    std::optional<QString> unit;
    std::optional<QString> range;
    std::optional<std::vector<HistoryPoint>> points;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "series") {
            field.readOnce(series, &JsonValue::qstring);
        } else if (key == "currency") {
            field.readOnce(currency, &JsonValue::qstring);
        } else if (key == "unit") {
            field.readOnce(unit, &JsonValue::qstring);
        } else if (key == "range") {
            field.readOnce(range, &JsonValue::qstring);
        } else if (key == "points") {
            field.readOnce(points, [](JsonValue& list) {
                std::vector<HistoryPoint> out;
                list.forEachElement(
                    [&](JsonValue& element) { out.push_back(HistoryPoint::readJson(element)); });
                return out;
            });
        } else {
            field.skip();
        }
    });
    HistoryResponse r;
    r.series = v.take(series, "series");
    r.currency = v.take(currency, "currency");
    r.unit = v.take(unit, "unit");
    r.range = v.take(range, "range");
    r.points = v.take(points, "points");
    return r;
}

}  // namespace mintlux
