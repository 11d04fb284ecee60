#pragma once

#include <stdexcept>

namespace mintlux {

// What an awaited operation fails with when its producer went away without an answer, so a
// caller always sees either a value or an error.
class CancellationError : public std::runtime_error {
public:
    CancellationError() : std::runtime_error("The operation was cancelled") {}
};

}  // namespace mintlux
