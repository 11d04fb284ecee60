#include "json/Iso8601.h"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace mintlux::Iso8601 {

namespace {

using namespace std::chrono;

bool digitsAt(std::string_view s, std::size_t pos, std::size_t count, int& out) {
    if (pos + count > s.size()) {
        return false;
    }
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

// Parses "YYYY-MM-DDTHH:MM:SS", then an optional fraction (required or forbidden), then the zone.
std::optional<Instant> parseInternetDateTime(std::string_view s, bool withFraction) {
    int year, month, day, hour, minute, second;
    if (!digitsAt(s, 0, 4, year) || s.size() < 19 || s[4] != '-' || !digitsAt(s, 5, 2, month) ||
        s[7] != '-' || !digitsAt(s, 8, 2, day) || s[10] != 'T' || !digitsAt(s, 11, 2, hour) ||
        s[13] != ':' || !digitsAt(s, 14, 2, minute) || s[16] != ':' ||
        !digitsAt(s, 17, 2, second)) {
        return std::nullopt;
    }
    std::size_t pos = 19;
    std::int64_t nanos = 0;
    if (withFraction) {
        if (pos >= s.size() || s[pos] != '.') {
            return std::nullopt;
        }
        ++pos;
        const std::size_t start = pos;
        std::int64_t scale = 100'000'000;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            // Digits past nanoseconds are below the clock's resolution.
            nanos += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) {
            return std::nullopt;
        }
    }
    if (pos >= s.size()) {
        return std::nullopt;
    }
    int offsetMinutes = 0;
    if (s[pos] == 'Z') {
        ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
        int oh, om;
        if (!digitsAt(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
            !digitsAt(s, pos + 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetMinutes = (oh * 60 + om) * (s[pos] == '-' ? -1 : 1);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != s.size()) {
        return std::nullopt;
    }

    const year_month_day date{std::chrono::year{year},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    // Whole seconds in 64 bits first; only then is it safe to go to the clock's nanoseconds.
    const std::int64_t secs = std::int64_t(sys_days{date}.time_since_epoch().count()) * 86400 +
                              hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 1'000'000'000 - 1;
    if (secs > limit || secs < -limit) {
        return std::nullopt;
    }
    return Instant{duration_cast<Instant::duration>(seconds{secs} + nanoseconds{nanos})};
}

}  // namespace

std::optional<Instant> parseWithFractionalSeconds(std::string_view text) noexcept {
    return parseInternetDateTime(text, true);
}

std::optional<Instant> parseWithoutFractionalSeconds(std::string_view text) noexcept {
    return parseInternetDateTime(text, false);
}

const std::array<DateParser, 2>& dateParsers() noexcept {
    static constexpr std::array<DateParser, 2> parsers{&parseWithFractionalSeconds,
                                                       &parseWithoutFractionalSeconds};
    return parsers;
}

std::optional<Instant> parse(std::string_view text) noexcept {
    for (DateParser p : dateParsers()) {
        if (auto instant = p(text)) {
            return instant;
        }
    }
    return std::nullopt;
}

std::string format(Instant instant) {
    const auto ns = duration_cast<nanoseconds>(instant.time_since_epoch());
    const auto day = floor<days>(ns);
    const year_month_day date{sys_days{day}};
    const hh_mm_ss<nanoseconds> time{ns - day};
    char buf[64];
    int len =
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02lld", int(date.year()),
                      unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                      int(time.minutes().count()), static_cast<long long>(time.seconds().count()));
    auto fraction = static_cast<long long>(time.subseconds().count());
    if (fraction != 0) {
        int digits = 9;
        while (fraction % 1000 == 0) {
            fraction /= 1000;
            digits -= 3;
        }
        len += std::snprintf(buf + len, sizeof buf - static_cast<std::size_t>(len), ".%0*lld",
                             digits, fraction);
    }
    std::string out(buf, static_cast<std::size_t>(len));
    out += 'Z';
    return out;
}

}  // namespace mintlux::Iso8601
