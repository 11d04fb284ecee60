#include "MarketHours.h"

#include <chrono>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono;

namespace {

// A UTC wall-clock time as an instant.
Instant utc(int y, unsigned mo, unsigned d, int h, int mi = 0) {
    return sys_days(year(y) / month(mo) / day(d)) + hours(h) + minutes(mi);
}

struct Case {
    const char* what;
    Instant at;
    bool open;
};

class MarketHoursTable : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(MarketHoursTable, FollowsNewYorkTradingWeek) {
    EXPECT_EQ(MarketHours::isOpen(GetParam().at), GetParam().open) << GetParam().what;
}

// New York is UTC-5 in winter (EST) and UTC-4 in summer (EDT).
INSTANTIATE_TEST_SUITE_P(
    Week, MarketHoursTable,
    ::testing::Values(
        Case{"Saturday 23:59 EST", utc(2026, 12, 6, 4, 59), false},
        Case{"Sunday 17:59 EST", utc(2026, 12, 6, 22, 59), false},
        Case{"Sunday 18:00 EST", utc(2026, 12, 6, 23), true},
        Case{"Thursday 23:30 EST", utc(2026, 12, 11, 4, 30), true},
        Case{"Friday 16:59 EST", utc(2026, 12, 11, 21, 59), true},
        Case{"Friday 17:00 EST", utc(2026, 12, 11, 22), false},
        // The weekday is New York's, not UTC's: Friday 20:00 EST is Saturday in UTC.
        Case{"Friday 20:00 EST, Saturday UTC", utc(2026, 12, 12, 1), false},
        // Sunday evening in New York is already Monday in UTC.
        Case{"Sunday 19:00 EST, Monday UTC", utc(2026, 12, 7, 0), true},
        Case{"Friday 17:00 EDT", utc(2026, 7, 10, 21), false},
        // Clocks go forward on Sunday 8 March 2026 at 02:00 and back on 1 November 2026.
        Case{"Sunday 18:00 EDT on the spring-forward day", utc(2026, 3, 8, 22), true},
        Case{"Sunday 17:30 EDT on the spring-forward day", utc(2026, 3, 8, 21, 30), false},
        Case{"Sunday 18:00 EST on the fall-back day", utc(2026, 11, 1, 23), true},
        Case{"Sunday 17:00 EST on the fall-back day (18:00 by summer time)", utc(2026, 11, 1, 22),
             false},
        // Holidays are not considered: Christmas Day 2026 is a Friday morning.
        Case{"Christmas Day, Friday 10:00 EST", utc(2026, 12, 25, 15), true}));
