#pragma once

#include "pricing/Clock.h"

namespace mintlux {

// system_clock for instants; sleeps are Qt timers measured against a monotonic clock, so a
// wall-clock jump neither shortens nor stretches a poll interval.
class SystemClock final : public Clock {
public:
    Instant now() const override { return std::chrono::system_clock::now(); }
    std::unique_ptr<Sleep> sleep(SleepDuration duration, std::function<void()> wake) override;
};

}  // namespace mintlux
