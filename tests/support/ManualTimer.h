#pragma once

#include "platform/RepeatingTimer.h"

#include <memory>
#include <vector>

namespace mintlux::test {

// A timer that fires only when the test says so.
class ManualTimer : public RepeatingTimer {
public:
    using Registry = std::shared_ptr<std::vector<ManualTimer*>>;

    // With a registry, the timer is listed there for as long as it lives.
    explicit ManualTimer(Registry registry = {}) : m_registry(std::move(registry)) {
        if (m_registry) {
            m_registry->push_back(this);
        }
    }
    ~ManualTimer() override {
        if (m_registry) {
            std::erase(*m_registry, this);
        }
    }
    ManualTimer(const ManualTimer&) = delete;
    ManualTimer& operator=(const ManualTimer&) = delete;

    void start(std::chrono::milliseconds i, Tick onTick) override {
        interval = i;
        m_onTick = std::move(onTick);
        m_active = true;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    // Fires as the main loop would: only while started.
    void fire(Clock::time_point at) {
        if (m_active && m_onTick) {
            m_onTick(at);
        }
    }

    std::chrono::milliseconds interval{0};

private:
    Registry m_registry;
    Tick m_onTick;
    bool m_active = false;
};

// Hands out ManualTimers; `timers` lists those still alive, oldest first.
struct ManualTimerFactory {
    ManualTimer::Registry timers = std::make_shared<std::vector<ManualTimer*>>();

    TimerFactory factory() const {
        return [registry = timers]() -> std::unique_ptr<RepeatingTimer> {
            return std::make_unique<ManualTimer>(registry);
        };
    }
};

}  // namespace mintlux::test
