#pragma once

#include "market/Currency.h"

#include <memory>

class QWidget;

namespace mintlux {

class MetalPricingService;
class VaultStore;
class VaultView;
class WindowActivator;

// The one vault window of the run. The window is made on the first show and kept; every show
// puts a fresh view in it, so the holdings are read from the store again each time.
class VaultWindowController {
public:
    static constexpr const char* kTitle = "My Vault";

    VaultWindowController(std::shared_ptr<MetalPricingService> service, VaultStore& store,
                          WindowActivator& activator);
    ~VaultWindowController();
    VaultWindowController(const VaultWindowController&) = delete;
    VaultWindowController& operator=(const VaultWindowController&) = delete;

    void show(Currency currency);
    // For the open view and every one shown later.
    void setDiscreet(bool on);

    // Null until the first show.
    QWidget* window() const { return m_window.get(); }
    VaultView* view() const;

private:
    std::shared_ptr<MetalPricingService> m_service;
    VaultStore& m_store;
    WindowActivator& m_activator;
    std::unique_ptr<QWidget> m_window;
    bool m_discreet = false;
};

}  // namespace mintlux
