#pragma once

#include "market/Instant.h"

#include <optional>

namespace mintlux {

enum class MarketStatus { open, closed, noData };

namespace MarketHours {

// Whether the spot market trades at `now`: closed from Friday 17:00 to Sunday 18:00 New York
// time, open otherwise. Public holidays are not considered. Should the calendar fail, the market
// counts as open rather than wrongly telling the user that prices are frozen.
bool isOpen(Instant now);

// No snapshot yet is `noData` whatever the time; otherwise the clock alone decides.
MarketStatus status(std::optional<Instant> lastUpdate, Instant now);

}  // namespace MarketHours

}  // namespace mintlux
