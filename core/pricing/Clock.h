#pragma once

#include "market/Instant.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace mintlux {

// Unsigned so a poll interval can reach the full 64-bit nanosecond count.
using SleepDuration = std::chrono::duration<std::uint64_t, std::nano>;

// The wall clock and the timer source of the pricing code, behind one seam so tests can move
// time by hand instead of waiting for it.
class Clock {
public:
    // A pending wake-up; destroying it first means the wake-up never happens.
    class Sleep {
    public:
        virtual ~Sleep() = default;
    };

    virtual ~Clock() = default;

    virtual Instant now() const = 0;

    // Calls `wake` once, on the calling thread's event loop, after `duration` has passed.
    virtual std::unique_ptr<Sleep> sleep(SleepDuration duration, std::function<void()> wake) = 0;

    // The process-wide real clock.
    static std::shared_ptr<Clock> system();
};

}  // namespace mintlux
