#pragma once

#include "json/Json.h"
#include "market/Decimal.h"
#include "market/KaratGrade.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/PriceTick.h"

#include <functional>

#include <QHashFunctions>

namespace mintlux {

// How much of one metal the user holds. The karat is carried by every entry but only gold's
// value uses it. No validation: a zero or negative quantity is kept and values as nothing.
struct VaultEntry {
    Decimal quantity;
    MetalUnit unit;
    KaratGrade karat;

    // What a metal with no readable stored holding has: nothing, counted in grams, 24K.
    static VaultEntry defaultEntry() { return {Decimal(0), MetalUnit::gram, KaratGrade::k24}; }

    // Worth in the tick's currency: the tick's price brought to this entry's unit (divide
    // first), times the quantity, times the purity for gold. The metal is `series`, not the
    // tick's. Never fails: a value beyond the decimal range is held at the largest decimal.
    Decimal value(MetalSeries series, const MetalPriceTick& tick) const;

    // {"quantity":2.5,"unit":"troyOunce","karat":22}: the quantity as a plain JSON number.
    // Members are read in any order; unknown ones are ignored; all three are required.
    void writeJson(JsonWriter& w) const;
    static VaultEntry readJson(JsonValue& v);

    friend bool operator==(const VaultEntry&, const VaultEntry&) = default;
    friend std::size_t qHash(const VaultEntry& e, std::size_t seed = 0) noexcept {
        return qHashMulti(seed, e.quantity, e.unit, e.karat);
    }
};

}  // namespace mintlux

template <>
struct std::hash<mintlux::VaultEntry> {
    std::size_t operator()(const mintlux::VaultEntry& e) const noexcept { return qHash(e); }
};
