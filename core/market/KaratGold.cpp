#include "market/KaratGold.h"

#include "market/DecimalLimits.h"
#include "market/UnitConversion.h"

namespace mintlux::KaratGold {

Decimal value(KaratGrade karat, const Decimal& quantity, MetalUnit quantityUnit,
              const Decimal& spotPricePerUnit, MetalUnit spotUnit) {
    const Decimal unitPrice =
        UnitConversion::convertPrice(spotPricePerUnit, spotUnit, quantityUnit);
    // Purity is positive, so only the price and the quantity decide the sign.
    return saturating(unitPrice.isNegative() != quantity.isNegative(),
                      [&] { return unitPrice * quantity * karat.purity(); });
}

Decimal pricePerUnit(KaratGrade karat, const Decimal& spotPricePerUnit, MetalUnit spotUnit,
                     MetalUnit targetUnit) {
    const Decimal unitPrice = UnitConversion::convertPrice(spotPricePerUnit, spotUnit, targetUnit);
    return unitPrice * karat.purity();
}

}  // namespace mintlux::KaratGold
