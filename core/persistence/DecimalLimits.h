#pragma once

#include "market/Decimal.h"

#include <string>

namespace mintlux {

// Where an amount has to be shown rather than fail, a result past the decimal range is held at
// the largest decimal of its sign.
inline Decimal saturatedDecimal(bool negative) {
    // Built from the type's own limits, so a change to its range cannot leave this stale.
    static const Decimal largest = *Decimal::parse(std::string(Decimal::kMaxDigits, '9') + "e" +
                                                   std::to_string(Decimal::kMaxExponent));
    return negative ? -largest : largest;
}

}  // namespace mintlux
