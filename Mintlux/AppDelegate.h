#pragma once

#include "ChartWindowController.h"
#include "MenuBarController.h"
#include "alerts/AlertStore.h"
#include "persistence/PreferencesStore.h"
#include "persistence/SettingsSnapshot.h"
#include "persistence/SettingsStore.h"
#include "persistence/VaultStore.h"

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace mintlux {

class AlertMonitor;
class DesktopNotifier;
class LoginItem;
class MetalPricingService;
class PricingProxyClient;
class SettingsWindowController;
class VaultWindowController;
class WindowActivator;

// What the delegate builds on. Production fills only the store and the base URL; tests replace
// the desktop and the network.
struct AppEnvironment {
    PreferencesStore* preferences = nullptr;
    QUrl pricingBaseURL;
    // Null: the HTTP back-end at the base URL with the synthetic one for failed histories.
    std::function<std::shared_ptr<PricingProxyClient>()> makeProxy;
    // Null: the desktop's status item (with the title published on the session bus) and a popup
    // suited to the platform.
    std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
    std::function<std::unique_ptr<Popover>()> makePopover;
    // With a status item of the environment's own: where its title is published, if anywhere.
    std::function<std::unique_ptr<TitlePublisher>()> makeTitlePublisher;
    TimerFactory timers;
    MenuBarView::Now now;
    // Null: the desktop's window activation and XDG autostart registration.
    WindowActivator* windowActivator = nullptr;
    LoginItem* loginItem = nullptr;
    // Null: charts from the chart module, looked for beside the executable, in chartModuleDirs,
    // then where it is installed.
    ChartViewFactory makeChartView;
    QStringList chartModuleDirs;
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
    ChartWindowController* chartController() const { return m_chartController.get(); }
    VaultWindowController* vaultController() const { return m_vaultController.get(); }
    SettingsWindowController* settingsController() const { return m_settingsController.get(); }
    AlertMonitor* alertMonitor() const { return m_alertMonitor.get(); }
    DesktopNotifier* notifier() const { return m_notifier.get(); }
    const std::optional<SettingsSnapshot>& lastSnapshot() const { return m_lastSnapshot; }
    bool isObservingSettings() const { return m_settingsObserver.isValid(); }

private:
    void observeSettingsChanges();
    void applySettingsChangeIfNeeded();
    void buildWindowControllers(const std::shared_ptr<MetalPricingService>& service);
    MenuBarCallbacks makeCallbacks();
    void startAlerts();
    Currency windowCurrency() const;
    std::shared_ptr<PricingProxyClient> makeProxy() const;

    AppEnvironment m_env;
    // The desktop's own services when the environment brings none; they outlive the windows.
    std::unique_ptr<WindowActivator> m_desktopActivator;
    std::unique_ptr<LoginItem> m_desktopLoginItem;
    std::shared_ptr<MetalPricingService> m_pricingService;
    std::unique_ptr<MenuBarController> m_menuBarController;
    std::unique_ptr<ChartWindowController> m_chartController;
    std::unique_ptr<VaultWindowController> m_vaultController;
    std::unique_ptr<SettingsWindowController> m_settingsController;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<AlertMonitor> m_alertMonitor;
    SettingsStore m_settingsStore;
    VaultStore m_vaultStore;
    AlertStore m_alertStore;
    std::optional<SettingsSnapshot> m_lastSnapshot;
    bool m_heapTrimmed = false;
    PreferencesStore::ObserverToken m_settingsObserver;
};

}  // namespace mintlux
