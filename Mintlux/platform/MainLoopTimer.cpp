#include "platform/MainLoopTimer.h"

namespace mintlux {

MainLoopTimer::MainLoopTimer(std::function<Clock::time_point()> now) : m_now(std::move(now)) {
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (m_onTick) {
            m_onTick(m_now());
        }
    });
}

void MainLoopTimer::start(std::chrono::milliseconds interval, Tick onTick) {
    m_onTick = std::move(onTick);
    // Whole-second intervals need no precision; the coarse timer lets the system batch wake-ups.
    m_timer.setTimerType(interval >= std::chrono::seconds(1) &&
                                 interval % std::chrono::seconds(1) == std::chrono::milliseconds(0)
                             ? Qt::VeryCoarseTimer
                             : Qt::CoarseTimer);
    m_timer.start(interval);
}

void MainLoopTimer::stop() {
    m_timer.stop();
}

TimerFactory MainLoopTimer::factory() {
    return [] { return std::make_unique<MainLoopTimer>(); };
}

}  // namespace mintlux
