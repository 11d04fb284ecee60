#pragma once

#include "market/Decimal.h"

namespace mintlux {

// Where an amount has to be shown rather than fail, a result past the decimal range is held at
// the largest decimal of its sign.
inline Decimal saturatedDecimal(bool negative) {
    static const Decimal largest = *Decimal::parse("99999999999999999999999999999999999999e127");
    return negative ? -largest : largest;
}

}  // namespace mintlux
