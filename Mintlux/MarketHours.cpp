#include "MarketHours.h"

#include <chrono>
#include <memory>

#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

namespace mintlux::MarketHours {

bool isOpen(Instant now) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone("America/New_York"));
    icu::GregorianCalendar calendar(zone.release(), status);
    if (U_FAILURE(status)) {
        return true;
    }
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    calendar.setTime(static_cast<UDate>(millis), status);
    const int32_t weekday = calendar.get(UCAL_DAY_OF_WEEK, status);
    const int32_t hour = calendar.get(UCAL_HOUR_OF_DAY, status);
    if (U_FAILURE(status)) {
        return true;
    }
    switch (weekday) {
        case UCAL_SUNDAY:
            return hour >= 18;
        case UCAL_FRIDAY:
            return hour < 17;
        case UCAL_SATURDAY:
            return false;
        default:
            return true;
    }
}

MarketStatus status(std::optional<Instant> lastUpdate, Instant now) {
    if (!lastUpdate) {
        return MarketStatus::noData;
    }
    return isOpen(now) ? MarketStatus::open : MarketStatus::closed;
}

}  // namespace mintlux::MarketHours
