#pragma once

#include "market/Vocabulary.h"

namespace mintlux {

namespace detail {
enum class TimeRangeCase : std::uint8_t { oneDay, oneWeek, oneMonth, threeMonths, oneYear, all };
}

// Spans of price history; the raw value is both the label and what the back-end is sent.
class TimeRange : public Vocabulary<TimeRange, detail::TimeRangeCase, 6> {
public:
    using enum detail::TimeRangeCase;
    constexpr TimeRange(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    QString displayLabel() const { return rawValue(); }

    static constexpr std::array<std::u16string_view, 6> kRawValues{u"1D", u"1W", u"1M",
                                                                   u"3M", u"1Y", u"All"};
    static constexpr std::string_view kTypeName = "TimeRange";
};

}  // namespace mintlux
