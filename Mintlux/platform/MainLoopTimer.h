#pragma once

#include "platform/RepeatingTimer.h"

#include <QTimer>

namespace mintlux {

class MainLoopTimer : public RepeatingTimer {
public:
    explicit MainLoopTimer(std::function<Clock::time_point()> now = &Clock::now);

    void start(std::chrono::milliseconds interval, Tick onTick) override;
    void stop() override;
    bool isActive() const override { return m_timer.isActive(); }

    static TimerFactory factory();

private:
    std::function<Clock::time_point()> m_now;
    Tick m_onTick;
    QTimer m_timer;
};

}  // namespace mintlux
