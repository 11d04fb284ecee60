#include "pricing/LatestPricesResponse.h"

#include "json/JsonValue.h"

namespace mintlux {

void LatestPricesResponse::PriceEntry::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("value").number(value);
    w.key("unit").string(unit);
    if (prevClose) {
        w.key("prev_close").number(*prevClose);
    }
    w.endObject();
}

LatestPricesResponse::PriceEntry LatestPricesResponse::PriceEntry::readJson(JsonValue& v) {
    std::optional<Decimal> value;
    std::optional<std::optional<Decimal>> prevClose;
    std::optional<QString> unit;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "value") {
            field.readOnce(value, &JsonValue::decimal);
        } else if (key == "unit") {
            field.readOnce(unit, &JsonValue::qstring);
        } else if (key == "prev_close") {
            field.readOnce(prevClose, &JsonValue::optionalDecimal);
        } else {
            field.skip();
        }
    });
    PriceEntry entry;
    entry.value = v.take(value, "value");
    entry.prevClose = prevClose.value_or(std::nullopt);
    entry.unit = v.take(unit, "unit");
    return entry;
}

std::size_t qHash(const LatestPricesResponse& r, std::size_t seed) noexcept {
    seed = qHashMulti(seed, r.currency, hashKey(r.asOf), r.stale);
    for (const auto& [code, entry] : r.prices) {
        seed = qHashMulti(seed, code, entry);
    }
    return seed;
}

void LatestPricesResponse::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("currency").string(currency);
    w.key("prices").beginObject();
    for (const auto& [code, entry] : prices) {
        w.key(code.toStdString());
        entry.writeJson(w);
    }
    w.endObject();
    w.key("stale").boolean(stale);
    w.key("as_of").date(asOf);
    w.endObject();
}

LatestPricesResponse LatestPricesResponse::readJson(JsonValue& v) {
    std::optional<QString> currency;
    std::optional<Instant> asOf;
    std::optional<bool> stale;
    std::optional<std::map<QString, PriceEntry>> prices;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "currency") {
            field.readOnce(currency, &JsonValue::qstring);
        } else if (key == "as_of") {
            field.readOnce(asOf, &JsonValue::date);
        } else if (key == "stale") {
            field.readOnce(stale, &JsonValue::boolean);
        } else if (key == "prices") {
            field.readOnce(prices, [](JsonValue& map) {
                std::map<QString, PriceEntry> entries;
                map.forEachField([&](std::string_view code, JsonValue& entry) {
                    const auto [it, inserted] =
                        entries.try_emplace(qstringFromUtf8(code), PriceEntry{});
                    if (!inserted) {
                        entry.fail(DecodingError::Kind::dataCorrupted, "Duplicate key");
                    }
                    it->second = PriceEntry::readJson(entry);
                });
                return entries;
            });
        } else {
            field.skip();
        }
    });
    LatestPricesResponse r;
    r.currency = v.take(currency, "currency");
    r.asOf = v.take(asOf, "as_of");
    r.stale = v.take(stale, "stale");
    r.prices = v.take(prices, "prices");
    return r;
}

}  // namespace mintlux
