#pragma once

#include "market/Currency.h"
#include "market/MetalSeries.h"

#include <functional>
#include <memory>

namespace mintlux {

class MetalPricingService;
class VaultStore;

// The chart, vault and settings windows as the application delegate drives them. The windows
// arrive with their own controllers; until an implementation is supplied the popup's window
// buttons open nothing.
class AppWindows {
public:
    virtual ~AppWindows() = default;

    virtual void showChart(MetalSeries metal, Currency currency) = 0;
    virtual void showVault(Currency currency) = 0;
    virtual void showSettings() = 0;
    // The display currency changed: cached chart histories are of no use any more.
    virtual void invalidateChartCache() = 0;
};

// Builds the windows' controllers at launch, once the pricing service exists.
using AppWindowsFactory = std::function<std::unique_ptr<AppWindows>(
    std::shared_ptr<MetalPricingService> service, VaultStore& vaultStore)>;

}  // namespace mintlux
