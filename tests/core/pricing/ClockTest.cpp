#include "EventLoop.h"
#include "pricing/SystemClock.h"

#include <limits>

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;

TEST(SystemClock, SleepsWakeOnceAndDestroyedSleepsNever) {
    SystemClock clock;
    int woken = 0;
    std::unique_ptr<Clock::Sleep> handle;
    QElapsedTimer elapsed;
    elapsed.start();
    // The wake-up destroys its own handle, as the poll loop does.
    handle = clock.sleep(SleepDuration(30ms), [&] {
        ++woken;
        handle.reset();
    });
    auto cancelled = clock.sleep(SleepDuration(10ms), [&] { woken += 100; });
    cancelled.reset();
    auto endless = clock.sleep(SleepDuration(std::numeric_limits<std::uint64_t>::max()),
                               [&] { woken += 1000; });

    ASSERT_TRUE(test::waitUntil([&] { return woken > 0; }));
    EXPECT_GE(elapsed.elapsed(), 30);
    test::settle(50ms);
    EXPECT_EQ(woken, 1);
}

}  // namespace
}  // namespace mintlux
