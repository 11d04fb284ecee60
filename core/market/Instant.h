#pragma once

#include <chrono>

namespace mintlux {

// An absolute point in time. Durations at the edges of the system are seconds as doubles.
using Instant = std::chrono::system_clock::time_point;

}  // namespace mintlux
