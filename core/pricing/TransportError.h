#pragma once

#include "net/HttpExchange.h"

#include <stdexcept>
#include <string>

namespace mintlux {

// A request that produced no usable body: the network failed, the server went silent past the
// time-out, the body outgrew its limit, or the request was dropped. what() is the description
// the log line shows.
class TransportError : public std::runtime_error {
public:
    enum class Kind {
        network,       // refused, reset, closed early, TLS, too many redirects, ...
        timedOut,      // no data for the whole time-out
        bodyTooLarge,  // more bytes than the client accepts for one document
        cancelled,     // the client went away while the request ran
    };

    TransportError(Kind kind, NetworkFault fault, const std::string& description)
        : std::runtime_error(description), m_kind(kind), m_fault(fault) {}

    Kind kind() const noexcept { return m_kind; }
    NetworkFault fault() const noexcept { return m_fault; }

private:
    Kind m_kind;
    NetworkFault m_fault;
};

}  // namespace mintlux
