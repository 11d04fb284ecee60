#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace mintlux {

// A repeating timer on the main loop that tells each tick the time it fired at.
class RepeatingTimer {
public:
    using Clock = std::chrono::system_clock;
    using Tick = std::function<void(Clock::time_point)>;

    virtual ~RepeatingTimer() = default;
    // Restarts the timer when it runs already.
    virtual void start(std::chrono::milliseconds interval, Tick onTick) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

using TimerFactory = std::function<std::unique_ptr<RepeatingTimer>()>;

}  // namespace mintlux
