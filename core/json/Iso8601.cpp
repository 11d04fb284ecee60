#include "json/Iso8601.h"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace mintlux::Iso8601 {

namespace {

using namespace std::chrono;

// Every decoded timestamp comes through here, so the fixed fields are read pairwise with no
// bounds checks: the caller has checked the length.
bool twoDigits(const char* p, int& out) {
    const unsigned hi = static_cast<unsigned char>(p[0]) - unsigned{'0'};
    const unsigned lo = static_cast<unsigned char>(p[1]) - unsigned{'0'};
    if (hi > 9 || lo > 9) {
        return false;
    }
    out = static_cast<int>(hi * 10 + lo);
    return true;
}

// Parses "YYYY-MM-DDTHH:MM:SS", then an optional fraction (required or forbidden), then the zone.
// The instant comes back through `out`: built here as a std::optional, its flag byte was stored
// and then reloaded as part of a wider word, a store-forwarding stall on every timestamp.
bool parseInternetDateTime(std::string_view s, bool withFraction, Instant& out) {
    // Whole-second texts are the common case and reach this parser first: turn them away before
    // reading any digits. The shortest acceptable text is "YYYY-MM-DDTHH:MM:SSZ".
    if (s.size() < 20 || (withFraction && s[19] != '.')) {
        return false;
    }
    const char* const p = s.data();
    int century, yearOfCentury, month, day, hour, minute, second;
    if (!twoDigits(p, century) || !twoDigits(p + 2, yearOfCentury) || p[4] != '-' ||
        !twoDigits(p + 5, month) || p[7] != '-' || !twoDigits(p + 8, day) || p[10] != 'T' ||
        !twoDigits(p + 11, hour) || p[13] != ':' || !twoDigits(p + 14, minute) || p[16] != ':' ||
        !twoDigits(p + 17, second)) {
        return false;
    }
    const int year = century * 100 + yearOfCentury;
    std::size_t pos = 19;
    std::int64_t nanos = 0;
    if (withFraction) {
        if (pos >= s.size() || s[pos] != '.') {
            return false;
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
            return false;
        }
    }
    if (pos >= s.size()) {
        return false;
    }
    int offsetMinutes = 0;
    if (s[pos] == 'Z') {
        ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
        int oh, om;
        if (s.size() - pos != 6 || !twoDigits(p + pos + 1, oh) || p[pos + 3] != ':' ||
            !twoDigits(p + pos + 4, om) || oh > 23 || om > 59) {
            return false;
        }
        offsetMinutes = (oh * 60 + om) * (s[pos] == '-' ? -1 : 1);
        pos += 6;
    } else {
        return false;
    }
    if (pos != s.size()) {
        return false;
    }

    const year_month_day date{std::chrono::year{year},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    // Whole seconds in 64 bits first; only then is it safe to go to the clock's nanoseconds.
    const std::int64_t secs = std::int64_t(sys_days{date}.time_since_epoch().count()) * 86400 +
                              hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 1'000'000'000 - 1;
    if (secs > limit || secs < -limit) {
        return false;
    }
    out = Instant{duration_cast<Instant::duration>(seconds{secs} + nanoseconds{nanos})};
    return true;
}

}  // namespace

std::optional<Instant> parseWithFractionalSeconds(std::string_view text) noexcept {
    Instant instant;
    if (parseInternetDateTime(text, true, instant)) {
        return instant;
    }
    return std::nullopt;
}

std::optional<Instant> parseWithoutFractionalSeconds(std::string_view text) noexcept {
    Instant instant;
    if (parseInternetDateTime(text, false, instant)) {
        return instant;
    }
    return std::nullopt;
}

const std::array<DateParser, 2>& dateParsers() noexcept {
    static constexpr std::array<DateParser, 2> parsers{&parseWithFractionalSeconds,
                                                       &parseWithoutFractionalSeconds};
    return parsers;
}

bool parse(std::string_view text, Instant& out) noexcept {
    // The order of dateParsers().
    return parseInternetDateTime(text, true, out) || parseInternetDateTime(text, false, out);
}

std::optional<Instant> parse(std::string_view text) noexcept {
    for (DateParser p : dateParsers()) {
        if (auto instant = p(text)) {
            return instant;
        }
    }
    return std::nullopt;
}

std::string formatMilliseconds(Instant instant) {
    const auto ms = floor<milliseconds>(instant);
    std::string out = format(ms);
    const auto fraction = (ms.time_since_epoch() - floor<seconds>(ms).time_since_epoch()).count();
    if (fraction == 0) {
        out.insert(out.size() - 1, ".000");
    }
    return out;
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
