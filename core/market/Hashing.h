#pragma once

#include "market/Decimal.h"
#include "market/Instant.h"

#include <optional>

#include <QHashFunctions>

namespace mintlux {

// Qt cannot find a qHash for std::chrono types by lookup, so instants hash through their count.
inline qint64 hashKey(Instant instant) noexcept {
    return static_cast<qint64>(instant.time_since_epoch().count());
}

// Absent and present-but-zero must hash apart, as they compare apart.
inline std::size_t qHash(const std::optional<Decimal>& value, std::size_t seed = 0) noexcept {
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}

}  // namespace mintlux
