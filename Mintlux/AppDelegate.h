#pragma once

#include "AppWindows.h"
#include "MenuBarController.h"
#include "persistence/PreferencesStore.h"
#include "persistence/SettingsSnapshot.h"
#include "persistence/SettingsStore.h"
#include "persistence/VaultStore.h"

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QUrl>

namespace mintlux {

class MetalPricingService;
class PricingProxyClient;

// What the delegate builds on. Production fills only the store and the base URL; tests replace
// the desktop and the network.
struct AppEnvironment {
    PreferencesStore* preferences = nullptr;
    QUrl pricingBaseURL;
    // Null: the HTTP back-end at the base URL with the synthetic one for failed histories.
    std::function<std::shared_ptr<PricingProxyClient>()> makeProxy;
    // Null: the desktop's status item and a popup suited to the platform.
    std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
    std::function<std::unique_ptr<Popover>()> makePopover;
    TimerFactory timers;
    MenuBarView::Now now;
    // Null: no windows yet.
    AppWindowsFactory makeWindows;
    // Null: ends the application's event loop.
    std::function<void()> terminate;
};

// Owns every long-lived object: builds them at launch, turns preference changes into calls on
// the pricing service and the menu bar controller, and releases them at shutdown.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppEnvironment environment);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Another launch asked for the prices: open the popup.
    void showPopover();

    MetalPricingService* pricingService() const { return m_pricingService.get(); }
    MenuBarController* menuBarController() const { return m_menuBarController.get(); }
    AppWindows* windows() const { return m_windows.get(); }
    const std::optional<SettingsSnapshot>& lastSnapshot() const { return m_lastSnapshot; }
    bool isObservingSettings() const { return m_settingsObserver.isValid(); }

private:
    void observeSettingsChanges();
    void applySettingsChangeIfNeeded();
    MenuBarCallbacks makeCallbacks();
    Currency windowCurrency() const;
    std::shared_ptr<PricingProxyClient> makeProxy() const;

    AppEnvironment m_env;
    std::shared_ptr<MetalPricingService> m_pricingService;
    std::unique_ptr<MenuBarController> m_menuBarController;
    std::unique_ptr<AppWindows> m_windows;
    SettingsStore m_settingsStore;
    VaultStore m_vaultStore;
    std::optional<SettingsSnapshot> m_lastSnapshot;
    PreferencesStore::ObserverToken m_settingsObserver;
};

}  // namespace mintlux
