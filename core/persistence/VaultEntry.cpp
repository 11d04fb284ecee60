#include "persistence/VaultEntry.h"

#include "json/JsonValue.h"
#include "market/KaratGold.h"
#include "market/UnitConversion.h"
#include "persistence/DecimalLimits.h"

#include <stdexcept>

namespace mintlux {

Decimal VaultEntry::value(MetalSeries series, const MetalPriceTick& tick) const {
    if (quantity <= Decimal(0)) {
        return Decimal(0);
    }
    try {
        if (series == MetalSeries::gold) {
            return KaratGold::value(karat, quantity, unit, tick.value(), tick.unit());
        }
        return UnitConversion::convertPrice(tick.value(), tick.unit(), unit) * quantity;
    } catch (const std::overflow_error&) {
        // Only a quantity (or price) far past anything real gets here; the sign of the price
        // is the sign of the result, since quantity and purity are positive.
        return saturatedDecimal(tick.value().isNegative());
    }
}

void VaultEntry::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("quantity").number(quantity);
    w.key("unit");
    unit.writeJson(w);
    w.key("karat");
    karat.writeJson(w);
    w.endObject();
}

VaultEntry VaultEntry::readJson(JsonValue& v) {
    std::optional<Decimal> quantity;
    std::optional<MetalUnit> unit;
    std::optional<KaratGrade> karat;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "quantity") {
            field.readOnce(quantity, &JsonValue::decimal);
        } else if (key == "unit") {
            field.readOnce(unit, &MetalUnit::readJson);
        } else if (key == "karat") {
            field.readOnce(karat, &KaratGrade::readJson);
        } else {
            field.skip();
        }
    });
    return VaultEntry{v.take(quantity, "quantity"), v.take(unit, "unit"), v.take(karat, "karat")};
}

}  // namespace mintlux
