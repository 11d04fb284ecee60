#pragma once

#include "market/Instant.h"

#include <exception>
#include <optional>

#include <QString>

namespace mintlux {

// What the refreshes of one currency have seen lately, so a screen can tell prices that are
// still arriving from prices that only used to.
struct FeedHealth {
    // When the last good answer landed, by our own clock (the service's `as_of` is its clock).
    std::optional<Instant> lastSuccess;
    // The service itself flagged that answer as old.
    bool stale = false;
    // Since the last good answer: when the first refresh failed, and the latest failure.
    std::optional<Instant> failingSince;
    std::optional<Instant> lastFailureAt;
    std::exception_ptr lastFailure;  // null while the last refresh succeeded
    // Where the back-end lives ("host:port"), when it has an address.
    QString endpoint;

    bool lastRefreshFailed() const { return lastFailure != nullptr; }
};

}  // namespace mintlux
