#include "market/KaratGold.h"

#include "market/UnitConversion.h"

namespace mintlux::KaratGold {

Decimal value(KaratGrade karat, const Decimal& quantity, MetalUnit quantityUnit,
              const Decimal& spotPricePerUnit, MetalUnit spotUnit) {
    const Decimal unitPrice =
        UnitConversion::convertPrice(spotPricePerUnit, spotUnit, quantityUnit);
    const Decimal gross = unitPrice * quantity;
    return gross * karat.purity();
}

Decimal pricePerUnit(KaratGrade karat, const Decimal& spotPricePerUnit, MetalUnit spotUnit,
                     MetalUnit targetUnit) {
    const Decimal unitPrice = UnitConversion::convertPrice(spotPricePerUnit, spotUnit, targetUnit);
    return unitPrice * karat.purity();
}

}  // namespace mintlux::KaratGold
