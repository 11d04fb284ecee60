#pragma once

#include "market/Instant.h"

#include <optional>

#include <QString>

namespace mintlux::server {

// What /healthz reports for one upstream, and what its back-off is computed from.
struct ProviderHealth {
    QString name;
    QString kind;  // "spot", "fx" or "daily"
    std::optional<Instant> lastSuccess;
    std::optional<Instant> lastFailure;
    QString lastError;
    // The same in a few words, for the service's own error documents.
    QString lastCause;
    int consecutiveFailures = 0;
    Instant retryAfter{};  // not asked again before this
};

}  // namespace mintlux::server
