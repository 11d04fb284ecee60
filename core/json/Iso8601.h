#pragma once

#include "market/Instant.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace mintlux::Iso8601 {

// Internet date-time texts: 2025-01-31T14:05:09.250Z, 2025-01-31T15:05:09+01:00. Each parser
// accepts only its own form, checks the calendar (no 30 February, no hour 24) and honours the
// zone. Instants outside what the clock can hold (roughly 1678-2261) are not accepted.
std::optional<Instant> parseWithFractionalSeconds(std::string_view text) noexcept;
std::optional<Instant> parseWithoutFractionalSeconds(std::string_view text) noexcept;

using DateParser = std::optional<Instant> (*)(std::string_view) noexcept;
// Tried in order by every timestamp decode; stateless, so sharing across threads is free.
const std::array<DateParser, 2>& dateParsers() noexcept;
std::optional<Instant> parse(std::string_view text) noexcept;
// The same, for the decoder's per-timestamp path: returning std::optional<Instant> costs a
// store-forwarding stall per call with GCC, a third of a history decode.
bool parse(std::string_view text, Instant& out) noexcept;

// UTC with a 'Z'; fractional seconds only when there are any, in 3, 6 or 9 digits.
std::string format(Instant instant);
// UTC with a 'Z' and always three fractional digits, cut to the millisecond: the form clients
// that read at most six digits (or insist on some) all accept.
std::string formatMilliseconds(Instant instant);

}  // namespace mintlux::Iso8601
