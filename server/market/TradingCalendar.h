#pragma once

#include "market/Instant.h"

#include <QDate>

namespace mintlux::server::TradingCalendar {

// Precious metals trade round the clock on weekdays; each day's session ends at 17:00 in New
// York, whatever New York's offset from UTC is that day.
Instant closeOf(QDate tradingDay);

// The weekday whose session `t` falls in: the first weekday whose close is after `t`, so an
// instant on Friday evening or at the weekend belongs to Monday.
QDate tradingDayOf(Instant t);

}  // namespace mintlux::server::TradingCalendar
