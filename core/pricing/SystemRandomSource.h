#pragma once

#include "pricing/RandomSource.h"

#include <cstdint>
#include <random>

namespace mintlux {

// A Mersenne Twister seeded from the operating system, or from a fixed seed for a
// reproducible sequence.
class SystemRandomSource final : public RandomSource {
public:
    SystemRandomSource();
    explicit SystemRandomSource(std::uint64_t seed) : m_engine(seed) {}

    double uniform(double lowerBound, double upperBound) override;

    // One of the 2^53 + 1 evenly spaced points from lowerBound to upperBound; `tick` runs
    // from 0 (lowerBound) to 2^53 (upperBound), so the interval is closed at both ends.
    static constexpr std::uint64_t kTicks = std::uint64_t(1) << 53;
    static double closedUniform(std::uint64_t tick, double lowerBound, double upperBound) noexcept;

private:
    std::mt19937_64 m_engine;
};

}  // namespace mintlux
