#pragma once

#include "market/MetalSeries.h"

#include <functional>

namespace mintlux {

// What the popup's controls ask for; the application delegate decides what that means.
struct MenuBarCallbacks {
    std::function<void(MetalSeries)> onSelectPrimary;
    std::function<void(MetalSeries)> onOpenChart;
    std::function<void()> onOpenVault;
    std::function<void()> onOpenSettings;
    std::function<void()> onQuit;
    // Asks for discreet mode on or off; what is shown follows once the setting has changed.
    std::function<void(bool)> onSetDiscreet;
};

}  // namespace mintlux
