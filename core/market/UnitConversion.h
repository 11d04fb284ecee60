#pragma once

#include "market/Decimal.h"
#include "market/MetalUnit.h"

namespace mintlux::UnitConversion {

// Exact masses: a troy ounce is 31.1034768 g and a tola 11.6638038 g (three eighths of an ounce).
const Decimal& gramsPerUnit(MetalUnit unit);

// The same mass in another unit: multiply to grams first, then divide.
Decimal convert(const Decimal& quantity, MetalUnit from, MetalUnit to);

// The same price per another unit: divide to a price per gram first, then multiply. The order
// is part of the result, since each division rounds to 38 digits.
Decimal convertPrice(const Decimal& price, MetalUnit from, MetalUnit to);

}  // namespace mintlux::UnitConversion
