#pragma once

#include "market/Decimal.h"
#include "market/KaratGrade.h"
#include "market/MetalUnit.h"

namespace mintlux::KaratGold {

// Worth of a holding of karat gold, in the spot price's currency: the spot price brought to the
// holding's unit, times the quantity, times the purity, in that order.
Decimal value(KaratGrade karat, const Decimal& quantity, MetalUnit quantityUnit,
              const Decimal& spotPricePerUnit, MetalUnit spotUnit);

// Price of one target unit of gold of the given karat.
Decimal pricePerUnit(KaratGrade karat, const Decimal& spotPricePerUnit, MetalUnit spotUnit,
                     MetalUnit targetUnit);

}  // namespace mintlux::KaratGold
