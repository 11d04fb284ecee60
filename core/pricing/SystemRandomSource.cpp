#include "pricing/SystemRandomSource.h"

#include <algorithm>

namespace mintlux {

namespace {

std::uint64_t osSeed() {
    std::random_device device;
    return (std::uint64_t(device()) << 32) ^ std::uint64_t(device());
}

}  // namespace

SystemRandomSource::SystemRandomSource() : m_engine(osSeed()) {}

double SystemRandomSource::uniform(double lowerBound, double upperBound) {
    // uniform_real_distribution is half-open; an integer draw over 2^53 + 1 ticks is not.
    std::uniform_int_distribution<std::uint64_t> ticks(0, kTicks);
    return closedUniform(ticks(m_engine), lowerBound, upperBound);
}

double SystemRandomSource::closedUniform(std::uint64_t tick, double lowerBound,
                                         double upperBound) noexcept {
    if (tick >= kTicks) {
        return upperBound;
    }
    const double fraction = static_cast<double>(tick) / static_cast<double>(kTicks);
    // Rounding can step a hair past the upper bound for wide intervals; keep it closed.
    return std::min(lowerBound + (upperBound - lowerBound) * fraction, upperBound);
}

}  // namespace mintlux
