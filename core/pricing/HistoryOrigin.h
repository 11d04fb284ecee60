#pragma once

#include <exception>

#include <QString>

namespace mintlux {

// Which back-end answered a history request. Only a composite back-end ever says "fallback";
// its fallback serves invented history, so a screen must not present it as market data.
struct HistoryOrigin {
    bool fromFallback = false;
    // Why the primary did not answer, and where it lives ("host:port", if it has an address).
    std::exception_ptr primaryFailure;
    QString primaryEndpoint;
};

}  // namespace mintlux
