#pragma once

#include <QString>

namespace mintlux::test {

// Starts a session bus of our own (once per process) and points DBUS_SESSION_BUS_ADDRESS at
// it, so tests never see the desktop's bus or its services. It has no service activation:
// a name nobody owns stays unowned. Returns the bus address.
QString ensurePrivateSessionBus();
void stopPrivateSessionBus();

}  // namespace mintlux::test
