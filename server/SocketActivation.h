#pragma once

#include <optional>

namespace mintlux::server::SocketActivation {

// The listening socket the service manager passed us (LISTEN_PID and LISTEN_FDS naming this
// process; the first one is fd 3), or nothing. The variables are cleared either way so that
// children do not think the sockets are theirs.
std::optional<int> listeningSocket();

}  // namespace mintlux::server::SocketActivation
