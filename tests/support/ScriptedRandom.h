#pragma once

#include "pricing/RandomSource.h"

#include <deque>
#include <utility>
#include <vector>

namespace mintlux::test {

// Draws at pinned positions within whatever interval is asked for: 0 is the lower bound, 1 the
// upper, 0.5 the middle. Unscripted draws take the default position. Every interval asked for is
// recorded.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(double defaultPosition = 0.5) : m_default(defaultPosition) {}

    void push(double position) { m_script.push_back(position); }

    double uniform(double lowerBound, double upperBound) override {
        m_bounds.emplace_back(lowerBound, upperBound);
        double position = m_default;
        if (!m_script.empty()) {
            position = m_script.front();
            m_script.pop_front();
        }
        if (position == 0.0) {
            return lowerBound;
        }
        if (position == 1.0) {
            return upperBound;
        }
        return lowerBound + (upperBound - lowerBound) * position;
    }

    const std::vector<std::pair<double, double>>& bounds() const { return m_bounds; }
    void clearBounds() { m_bounds.clear(); }

private:
    double m_default;
    std::deque<double> m_script;
    std::vector<std::pair<double, double>> m_bounds;
};

}  // namespace mintlux::test
