#pragma once

namespace mintlux {

// The source of every random draw in the pricing code, so tests can pin the draws.
class RandomSource {
public:
    virtual ~RandomSource() = default;

    // Uniform on the closed interval [lowerBound, upperBound]; both bounds can come out.
    virtual double uniform(double lowerBound, double upperBound) = 0;
};

}  // namespace mintlux
