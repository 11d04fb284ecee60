#pragma once

#include "json/DecodingError.h"

#include <gtest/gtest.h>

namespace mintlux::test {

// Runs `decode`, which must fail with a DecodingError of `kind`; returns its description.
template <class Decode>
std::string expectDecodingFailure(Decode&& decode, DecodingError::Kind kind) {
    try {
        decode();
        ADD_FAILURE() << "decoded, should have failed";
    } catch (const DecodingError& e) {
        EXPECT_EQ(e.kind(), kind) << e.what();
        return e.what();
    }
    return {};
}

}  // namespace mintlux::test
