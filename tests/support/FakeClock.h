#pragma once

#include "pricing/Clock.h"

#include <map>
#include <memory>
#include <vector>

namespace mintlux::test {

// Time that moves only when a test says so. Sleeps fire synchronously inside advance(), in
// deadline order, and every requested duration is recorded.
class FakeClock final : public Clock {
public:
    explicit FakeClock(Instant start = Instant(std::chrono::seconds(1'738'332'309)));

    Instant now() const override { return m_state->now; }
    std::unique_ptr<Sleep> sleep(SleepDuration duration, std::function<void()> wake) override;

    void advance(std::chrono::nanoseconds by);
    // Jumps the wall clock without waking anything, as a clock adjustment would.
    void set(Instant instant) { m_state->now = instant; }

    std::size_t pendingSleeps() const { return m_state->sleeps.size(); }
    const std::vector<SleepDuration>& requestedSleeps() const { return m_state->requested; }
    void forgetRequestedSleeps() { m_state->requested.clear(); }

private:
    struct State {
        Instant now;
        std::uint64_t nextId = 0;
        // Keyed by (deadline, id) so equal deadlines fire in the order they were requested.
        std::map<std::pair<Instant, std::uint64_t>, std::function<void()>> sleeps;
        std::vector<SleepDuration> requested;
    };
    std::shared_ptr<State> m_state;
};

}  // namespace mintlux::test
