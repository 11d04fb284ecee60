#include "FakeClock.h"

#include <limits>

namespace mintlux::test {

namespace {

Instant saturatingAdd(Instant from, SleepDuration duration) {
    using Rep = Instant::duration::rep;
    const auto room = static_cast<std::uint64_t>(std::numeric_limits<Rep>::max() -
                                                 from.time_since_epoch().count());
    const std::uint64_t ns = duration.count();
    if (ns >= room) {
        return Instant::max();
    }
    return from + std::chrono::duration_cast<Instant::duration>(
                      std::chrono::nanoseconds(static_cast<std::int64_t>(ns)));
}

class FakeSleep final : public Clock::Sleep {
public:
    explicit FakeSleep(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
    ~FakeSleep() override { m_cancel(); }

private:
    std::function<void()> m_cancel;
};

}  // namespace

FakeClock::FakeClock(Instant start) : m_state(std::make_shared<State>()) {
    m_state->now = start;
}

std::unique_ptr<Clock::Sleep> FakeClock::sleep(SleepDuration duration, std::function<void()> wake) {
    m_state->requested.push_back(duration);
    const auto key = std::make_pair(saturatingAdd(m_state->now, duration), m_state->nextId++);
    m_state->sleeps.emplace(key, std::move(wake));
    return std::make_unique<FakeSleep>([state = std::weak_ptr<State>(m_state), key] {
        if (const auto alive = state.lock()) {
            alive->sleeps.erase(key);
        }
    });
}

void FakeClock::advance(std::chrono::nanoseconds by) {
    m_state->now += std::chrono::duration_cast<Instant::duration>(by);
    while (!m_state->sleeps.empty() && m_state->sleeps.begin()->first.first <= m_state->now) {
        auto wake = std::move(m_state->sleeps.begin()->second);
        m_state->sleeps.erase(m_state->sleeps.begin());
        wake();
    }
}

}  // namespace mintlux::test
