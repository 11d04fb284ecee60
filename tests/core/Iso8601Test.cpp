#include "json/Iso8601.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

using namespace mintlux;
using namespace std::chrono;

Instant utc(int y, unsigned mo, unsigned d, int h, int mi, int s, nanoseconds ns = {}) {
    return sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s} + ns;
}

// Nanoseconds since the epoch, so a failure prints a number rather than bytes.
std::optional<std::int64_t> nanosOf(std::optional<Instant> instant) {
    if (!instant) {
        return std::nullopt;
    }
    return duration_cast<nanoseconds>(instant->time_since_epoch()).count();
}

// Through both entry points, which must agree, and through the two forms' own parsers, which
// take only their own form. The table tests use it; the random round trip needs only one.
std::optional<std::int64_t> parsedNanos(const std::string& text) {
    const std::optional<std::int64_t> viaOptional = nanosOf(Iso8601::parse(text));
    Instant instant;
    const bool parsed = Iso8601::parse(text, instant);
    EXPECT_EQ(parsed ? nanosOf(instant) : std::nullopt, viaOptional)
        << "the two parse() overloads disagree on " << text;
    const auto withFraction = nanosOf(Iso8601::parseWithFractionalSeconds(text));
    const auto withoutFraction = nanosOf(Iso8601::parseWithoutFractionalSeconds(text));
    EXPECT_EQ(text.find('.') != std::string::npos ? withFraction : withoutFraction, viaOptional)
        << text;
    EXPECT_FALSE(withFraction && withoutFraction) << text;
    return viaOptional;
}

TEST(Iso8601Parse, AcceptedFormsAndTheirInstants) {
    const std::pair<const char*, Instant> cases[] = {
        {"2025-01-31T14:05:09Z", utc(2025, 1, 31, 14, 5, 9)},
        {"2025-01-31T14:05:09.250Z", utc(2025, 1, 31, 14, 5, 9, milliseconds{250})},
        {"2025-01-31T14:05:09.2Z", utc(2025, 1, 31, 14, 5, 9, milliseconds{200})},
        {"2025-01-31T14:05:09.000000001Z", utc(2025, 1, 31, 14, 5, 9, nanoseconds{1})},
        // Past the clock's resolution digits are dropped, never carried into the second.
        {"2025-01-31T14:05:09.123456789123Z", utc(2025, 1, 31, 14, 5, 9, nanoseconds{123456789})},
        {"2025-01-31T14:05:09.999999999999Z", utc(2025, 1, 31, 14, 5, 9, nanoseconds{999999999})},
        {"2025-01-31T15:05:09+01:00", utc(2025, 1, 31, 14, 5, 9)},
        {"2025-01-31T14:05:09-00:00", utc(2025, 1, 31, 14, 5, 9)},
        {"2025-01-31T14:05:09+00:00", utc(2025, 1, 31, 14, 5, 9)},
        {"2025-02-01T13:04:09+23:59", utc(2025, 1, 31, 13, 5, 9)},
        {"2025-01-31T14:05:09-23:59", utc(2025, 2, 1, 14, 4, 9)},
        {"2025-01-31T09:35:09.5-04:30", utc(2025, 1, 31, 14, 5, 9, milliseconds{500})},
        // The offset moves the instant across a year boundary.
        {"2025-01-01T00:30:00+01:00", utc(2024, 12, 31, 23, 30, 0)},
        {"2024-02-29T00:00:00Z", utc(2024, 2, 29, 0, 0, 0)},
        {"2000-02-29T23:59:59Z", utc(2000, 2, 29, 23, 59, 59)},
        {"1970-01-01T00:00:00Z", Instant{}},
        {"1969-12-31T23:59:59.5Z", Instant{} - milliseconds{500}},
        {"1678-01-01T00:00:00Z", utc(1678, 1, 1, 0, 0, 0)},
        {"2262-01-01T00:00:00Z", utc(2262, 1, 1, 0, 0, 0)},
    };
    for (const auto& [text, instant] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parsedNanos(text), nanosOf(instant));
    }
}

TEST(Iso8601Parse, RejectedTexts) {
    const char* const texts[] = {
        // Not the internet date-time form.
        "2025-01-31 14:05:09", "2025-01-31t14:05:09Z", "2025-01-31T14:05:09z",
        "2025-01-31T14:05:09", "2025-01-31", "14:05:09Z", "2025-1-31T14:05:09Z",
        "2025-01-31T14:05Z", "25-01-31T14:05:09Z", "+2025-01-31T14:05:09Z", "20250131T140509Z",
        " 2025-01-31T14:05:09Z", "2025-01-31T14:05:09Z ", "2025-01-31T14:05:09ZZ",
        "2025-01-31T14:05:09.Z", "2025-01-31T14:05:09,250Z", "2025-01-31T14:05:09.25 Z",
        "2025-01-31T14:05:09+0100", "2025-01-31T14:05:09+01", "2025-01-31T14:05:09+1:00",
        "2025-01-31T14:05:09+01:00:00", "2025-01-31T14:05:09 +01:00", "2025-01-31T14:05:09UTC",
        "2025-01-31T14:05:09+24:00", "2025-01-31T14:05:09-00:60", "２０25-01-31T14:05:09Z", "",
        // The calendar and the clock face.
        "2025-02-30T00:00:00Z", "2023-02-29T00:00:00Z", "2100-02-29T00:00:00Z",
        "2025-04-31T00:00:00Z", "2025-00-10T00:00:00Z", "2025-13-01T00:00:00Z",
        "2025-01-00T00:00:00Z", "2025-01-32T00:00:00Z", "2025-01-31T24:00:00Z",
        "2025-01-31T23:60:00Z", "2025-12-31T23:59:60Z",
        // Outside what the clock holds.
        "1600-01-01T00:00:00Z", "3000-01-01T00:00:00Z", "1677-01-01T00:00:00Z",
        "2263-01-01T00:00:00Z", "0000-01-01T00:00:00Z", "9999-12-31T23:59:59Z"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parsedNanos(text), std::nullopt);
    }
}

TEST(Iso8601Format, UtcWithTheShortestWholeFraction) {
    // Already in the written form, so each parses and formats back unchanged.
    for (const std::string text :
         {"2025-01-31T14:05:09Z", "2025-01-31T14:05:09.250Z", "2025-01-31T14:05:09.000001Z",
          "2025-01-31T14:05:09.000000120Z", "2024-02-29T23:59:59.999999999Z",
          "1969-12-31T23:59:59.999999999Z", "1678-01-01T00:00:00Z"}) {
        const auto instant = Iso8601::parse(text);
        ASSERT_TRUE(instant) << text;
        EXPECT_EQ(Iso8601::format(*instant), text);
    }
}

TEST(Iso8601Format, EveryFormattedInstantParsesBack) {
    // Seeded: a failure names an instant that can be replayed.
    std::mt19937_64 random(8601);
    const std::int64_t lo =
        duration_cast<seconds>(utc(1678, 1, 1, 0, 0, 0).time_since_epoch()).count();
    const std::int64_t hi =
        duration_cast<seconds>(utc(2262, 1, 1, 0, 0, 0).time_since_epoch()).count();
    std::uniform_int_distribution<std::int64_t> secondsIn(lo, hi);
    std::uniform_int_distribution<std::int64_t> nanosIn(0, 999'999'999);
    for (int i = 0; i < 20'000; ++i) {
        std::int64_t nanos = nanosIn(random);
        // Mostly whole seconds and milliseconds, as real data has them.
        if (i % 3 == 0) {
            nanos = 0;
        } else if (i % 3 == 1) {
            nanos -= nanos % 1'000'000;
        }
        const Instant instant{seconds{secondsIn(random)} + nanoseconds{nanos}};
        const std::string text = Iso8601::format(instant);
        ASSERT_EQ(nanosOf(Iso8601::parse(text)), nanosOf(instant)) << text;
    }
}

}  // namespace
