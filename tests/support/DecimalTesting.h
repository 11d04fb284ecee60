#pragma once

#include "Printers.h"
#include "market/Decimal.h"

#include <string_view>

#include <gtest/gtest.h>

namespace mintlux {

namespace test {

// A decimal from text the test itself writes: text that does not parse is a broken test.
inline Decimal dec(std::string_view text) {
    const auto d = Decimal::parse(text);
    if (!d) {
        ADD_FAILURE() << "test input does not parse: " << text;
        return Decimal{};
    }
    return *d;
}

}  // namespace test
}  // namespace mintlux
