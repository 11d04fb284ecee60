#include "pricing/SystemClock.h"

#include <algorithm>
#include <limits>

#include <QElapsedTimer>
#include <QTimer>

namespace mintlux {

namespace {

// QTimer takes int milliseconds, about 24.8 days; longer sleeps are re-armed in pieces.
constexpr SleepDuration kLongestPiece = std::chrono::milliseconds(std::numeric_limits<int>::max());

class TimerSleep final : public Clock::Sleep {
public:
    TimerSleep(SleepDuration duration, std::function<void()> wake)
        : m_remaining(duration), m_wake(std::move(wake)) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { onTimeout(); });
        arm();
    }

private:
    void arm() {
        const SleepDuration piece = std::min(m_remaining, kLongestPiece);
        // Rounded up: waking a fraction of a millisecond late is harmless, early is not.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(piece);
        m_elapsed.start();
        m_timer.start(static_cast<int>(ms.count()));
    }

    void onTimeout() {
        const SleepDuration elapsed(static_cast<std::uint64_t>(m_elapsed.nsecsElapsed()));
        if (elapsed < m_remaining) {
            m_remaining -= elapsed;
            if (m_remaining >= std::chrono::milliseconds(1)) {
                arm();
                return;
            }
        }
        // The callback may destroy this object.
        auto wake = std::move(m_wake);
        wake();
    }

    SleepDuration m_remaining;
    std::function<void()> m_wake;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
};

}  // namespace

std::unique_ptr<Clock::Sleep> SystemClock::sleep(SleepDuration duration,
                                                 std::function<void()> wake) {
    return std::make_unique<TimerSleep>(duration, std::move(wake));
}

std::shared_ptr<Clock> Clock::system() {
    static const std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace mintlux
