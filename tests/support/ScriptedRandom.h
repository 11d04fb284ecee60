#pragma once

#include "pricing/RandomSource.h"

#include <utility>
#include <vector>

namespace mintlux::test {

// Draws at one pinned position within whatever interval is asked for: 0 is the lower bound, 1 the
// upper, 0.5 the middle. Every interval asked for is recorded.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(double defaultPosition = 0.5) : m_default(defaultPosition) {}

    double uniform(double lowerBound, double upperBound) override {
        m_bounds.emplace_back(lowerBound, upperBound);
        if (m_default == 0.0) {
            return lowerBound;
        }
        if (m_default == 1.0) {
            return upperBound;
        }
        return lowerBound + (upperBound - lowerBound) * m_default;
    }

    const std::vector<std::pair<double, double>>& bounds() const { return m_bounds; }
    void clearBounds() { m_bounds.clear(); }

private:
    double m_default;
    std::vector<std::pair<double, double>> m_bounds;
};

}  // namespace mintlux::test
