#include "persistence/VaultEntry.h"

#include "json/JsonValue.h"
#include "market/DecimalLimits.h"
#include "market/KaratGold.h"
#include "market/UnitConversion.h"

namespace mintlux {

Decimal VaultEntry::value(MetalSeries series, const MetalPriceTick& tick) const {
    if (quantity <= Decimal(0)) {
        return Decimal(0);
    }
    if (series == MetalSeries::gold) {
        return KaratGold::value(karat, quantity, unit, tick.value(), tick.unit());
    }
    const Decimal unitPrice = UnitConversion::convertPrice(tick.value(), tick.unit(), unit);
    // The quantity is positive here: the price's sign is the result's.
    return saturating(unitPrice.isNegative(), [&] { return unitPrice * quantity; });
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
