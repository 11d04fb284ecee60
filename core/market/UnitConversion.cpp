#include "market/UnitConversion.h"

#include "market/DecimalLimits.h"

#include <array>

namespace mintlux::UnitConversion {

const Decimal& gramsPerUnit(MetalUnit unit) {
    static const std::array<Decimal, 4> grams{*Decimal::parse("31.1034768"), Decimal(1),
                                              *Decimal::parse("11.6638038"), Decimal(1000)};
    return grams[unit.index()];
}

Decimal convert(const Decimal& quantity, MetalUnit from, MetalUnit to) {
    if (from == to) {
        return quantity;
    }
    // Every gram count is positive: the result keeps the quantity's sign.
    return saturating(quantity.isNegative(),
                      [&] { return quantity * gramsPerUnit(from) / gramsPerUnit(to); });
}

Decimal convertPrice(const Decimal& price, MetalUnit from, MetalUnit to) {
    if (from == to) {
        return price;
    }
    return saturating(price.isNegative(),
                      [&] { return price / gramsPerUnit(from) * gramsPerUnit(to); });
}

}  // namespace mintlux::UnitConversion
