#pragma once

#include "market/Decimal.h"

#include <concepts>
#include <stdexcept>
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

// A held amount stands for "too large to tell", not for its digits.
inline bool isSaturated(const Decimal& value) {
    return value.magnitude() == saturatedDecimal(false);
}

// `compute`'s result, or the largest decimal of the sign the caller knows the result has.
template <std::invocable F>
Decimal saturating(bool negative, F&& compute) {
    try {
        return compute();
    } catch (const std::overflow_error&) {
        return saturatedDecimal(negative);
    }
}

// Only two amounts of one sign can overflow, so the first one's sign is the sum's.
inline Decimal saturatingSum(const Decimal& a, const Decimal& b) {
    return saturating(a.isNegative(), [&] { return a + b; });
}

}  // namespace mintlux
