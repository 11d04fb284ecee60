#include "AppDelegate.h"

#include "AlertMonitor.h"
#include "ChartModule.h"
#include "SettingsWindowController.h"
#include "VaultWindowController.h"
#include "persistence/SettingsKey.h"
#include "platform/DesktopNotifier.h"
#include "platform/Windows.h"
#include "platform/XdgAutostartLoginItem.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/HybridPricingProxyClient.h"
#include "pricing/MetalPricingService.h"
#include "pricing/MockPricingProxyClient.h"

#include <malloc.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace mintlux {

namespace {

// Runs `task` in a later main-loop turn, and only if `context` still exists then.
template <class Task>
void schedule(QObject* context, Task task) {
    QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
}

}  // namespace

AppDelegate::AppDelegate(AppEnvironment environment)
    : m_env(std::move(environment)),
      m_settingsStore(*m_env.preferences),
      m_vaultStore(*m_env.preferences),
      m_alertStore(*m_env.preferences) {}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
}

std::shared_ptr<PricingProxyClient> AppDelegate::makeProxy() const {
    if (m_env.makeProxy) {
        return m_env.makeProxy();
    }
    // No access manager: the poll's requests go over sockets on this thread.
    auto http = std::make_shared<HTTPPricingProxyClient>(
        HTTPPricingProxyClient::Configuration{m_env.pricingBaseURL});
    auto synthetic = std::make_shared<MockPricingProxyClient>();
    return std::make_shared<HybridPricingProxyClient>(std::move(http), std::move(synthetic));
}

void AppDelegate::applicationDidFinishLaunching() {
    if (m_menuBarController) {
        return;
    }
    const SettingsSnapshot snapshot = m_settingsStore.snapshot();
    m_lastSnapshot = snapshot;

    // The constructor floors the interval at one second, so a hand-edited zero or negative
    // value cannot make the poll loop spin.
    auto service = std::make_shared<MetalPricingService>(
        makeProxy(), static_cast<double>(snapshot.refreshIntervalSec()));
    buildWindowControllers(service);
    schedule(service.get(), [weak = std::weak_ptr<MetalPricingService>(service),
                             currency = snapshot.displayCurrency()] {
        if (auto s = weak.lock()) {
            s->start(currency);
        }
    });
    m_pricingService = service;
    // Start-up frees much of what it allocated (the preferences' parse, the first answer, the
    // title's first rendering) but malloc keeps it; given back once, after the first refresh,
    // the idle app does not hold it all day.
    service->observeHealth(this, [this](Currency) {
        if (!m_heapTrimmed) {
            m_heapTrimmed = true;
            QTimer::singleShot(0, this, [] { ::malloc_trim(0); });
        }
    });

    MenuBarController::Shell shell;
    if (m_env.makeStatusItem) {
        shell.statusItem = m_env.makeStatusItem();
        if (m_env.makeTitlePublisher) {
            shell.titlePublisher = m_env.makeTitlePublisher();
        }
    } else {
        shell.titlePublisher = std::make_unique<TitlePublisher>(QDBusConnection::sessionBus());
    }
    if (m_env.makePopover) {
        shell.popover = m_env.makePopover();
    }
    shell.timers = m_env.timers;
    shell.now = m_env.now;
    m_menuBarController = std::make_unique<MenuBarController>(
        service, m_vaultStore, snapshot.primaryMetal(), snapshot.displayCurrency(),
        snapshot.displayMode(), makeCallbacks(), std::move(shell), &m_alertStore);
    // Before the first prices arrive (a later turn), so no holding is ever shown unmasked.
    m_menuBarController->setDiscreet(snapshot.discreetMode());
    m_vaultController->setDiscreet(snapshot.discreetMode());
    startAlerts();

    observeSettingsChanges();
}

void AppDelegate::buildWindowControllers(const std::shared_ptr<MetalPricingService>& service) {
    if (m_env.windowActivator == nullptr && !m_desktopActivator) {
        m_desktopActivator = std::make_unique<QtWindowActivator>();
    }
    if (m_env.loginItem == nullptr && !m_desktopLoginItem) {
        m_desktopLoginItem = std::make_unique<XdgAutostartLoginItem>();
    }
    WindowActivator& activator =
        m_env.windowActivator != nullptr ? *m_env.windowActivator : *m_desktopActivator;
    LoginItem& loginItem = m_env.loginItem != nullptr ? *m_env.loginItem : *m_desktopLoginItem;
    // Chart histories are served from this cache for a minute.
    ChartViewFactory makeChartView =
        m_env.makeChartView ? m_env.makeChartView
                            : chartModule::factory(chartModule::searchPath(m_env.chartModuleDirs));
    m_chartController = std::make_unique<ChartWindowController>(
        service, std::make_shared<ChartingDataSource>(service, 60.0), activator,
        std::move(makeChartView));
    m_vaultController = std::make_unique<VaultWindowController>(service, m_vaultStore, activator);
    m_settingsController =
        std::make_unique<SettingsWindowController>(*m_env.preferences, loginItem, activator);
}

void AppDelegate::startAlerts() {
    m_notifier = std::make_unique<DesktopNotifier>(QDBusConnection::sessionBus());
    const QPointer<AppDelegate> weak(this);
    m_alertMonitor = std::make_unique<AlertMonitor>(
        m_pricingService, *m_env.preferences, m_notifier.get(), m_env.now,
        [weak](MetalSeries metal) {
            if (weak && weak->m_chartController) {
                weak->m_chartController->show(metal, weak->windowCurrency());
            }
        });
    // Asked whenever the Alerts page shows, and again when the answer changes: from then on the
    // server is known, rules or not.
    const auto status = [weak] {
        if (!weak || !weak->m_alertMonitor) {
            return QString();
        }
        weak->m_notifier->start();
        return weak->m_alertMonitor->notificationProblem();
    };
    m_settingsController->setNotificationStatus(status);
    connect(m_notifier.get(), &DesktopNotifier::availabilityChanged, this,
            [this, status] { m_settingsController->setNotificationStatus(status); });
    connect(m_alertMonitor.get(), &AlertMonitor::recentAlertsChanged, this, [this] {
        if (m_menuBarController) {
            m_menuBarController->setRecentAlerts(m_alertMonitor->recentAlerts());
        }
    });
}

MenuBarCallbacks AppDelegate::makeCallbacks() {
    const QPointer<AppDelegate> weak(this);
    MenuBarCallbacks callbacks;
    callbacks.onSelectPrimary = [weak](MetalSeries metal) {
        if (weak) {
            weak->m_env.preferences->set(metal.rawValue(), SettingsKey::primaryMetal);
        }
    };
    callbacks.onOpenChart = [weak](MetalSeries metal) {
        if (weak && weak->m_chartController) {
            weak->m_chartController->show(metal, weak->windowCurrency());
        }
    };
    callbacks.onOpenVault = [weak] {
        if (weak && weak->m_vaultController) {
            weak->m_vaultController->show(weak->windowCurrency());
        }
    };
    callbacks.onOpenSettings = [weak] {
        if (weak && weak->m_settingsController) {
            weak->m_settingsController->show();
        }
    };
    callbacks.onQuit = [] { QCoreApplication::quit(); };
    callbacks.onSetDiscreet = [weak](bool on) {
        if (weak) {
            weak->m_env.preferences->set(on, SettingsKey::discreetMode);
        }
    };
    return callbacks;
}

Currency AppDelegate::windowCurrency() const {
    return m_lastSnapshot ? m_lastSnapshot->displayCurrency()
                          : m_settingsStore.snapshot().displayCurrency();
}

void AppDelegate::observeSettingsChanges() {
    const QPointer<AppDelegate> weak(this);
    m_settingsObserver = m_env.preferences->addObserver(this, [weak] {
        if (!weak) {
            return;
        }
        schedule(weak.data(), [weak] {
            if (!weak) {
                return;
            }
            weak->applySettingsChangeIfNeeded();
            if (weak && weak->m_alertMonitor) {
                weak->m_alertMonitor->reload();
            }
            // Vault and alert edits change no setting; this is how they reach the title and the
            // popup.
            if (weak && weak->m_menuBarController) {
                weak->m_menuBarController->refresh();
            }
        });
    });
}

void AppDelegate::applySettingsChangeIfNeeded() {
    const SettingsSnapshot fresh = m_settingsStore.snapshot();
    if (!m_lastSnapshot) {
        m_lastSnapshot = fresh;
        return;
    }
    if (fresh == *m_lastSnapshot) {
        return;
    }
    const SettingsSnapshot old = *m_lastSnapshot;
    m_lastSnapshot = fresh;

    const std::weak_ptr<MetalPricingService> service = m_pricingService;
    if (fresh.refreshIntervalSec() != old.refreshIntervalSec() && m_pricingService) {
        schedule(m_pricingService.get(),
                 [service, seconds = static_cast<double>(fresh.refreshIntervalSec())] {
                     if (auto s = service.lock()) {
                         s->setRefreshInterval(seconds);
                     }
                 });
    }
    const bool currencyChanged = fresh.displayCurrency() != old.displayCurrency();
    if (currencyChanged) {
        if (m_pricingService) {
            schedule(m_pricingService.get(), [service, currency = fresh.displayCurrency()] {
                if (auto s = service.lock()) {
                    s->setCurrency(currency);
                }
            });
        }
        // Histories in the old currency are of no use any more; an open chart keeps its own
        // until it is shown again.
        if (m_chartController) {
            m_chartController->invalidateCache();
        }
    }
    const bool discreetChanged = fresh.discreetMode() != old.discreetMode();
    if (discreetChanged && m_vaultController) {
        m_vaultController->setDiscreet(fresh.discreetMode());
    }
    if (!m_menuBarController) {
        return;
    }
    if (discreetChanged) {
        m_menuBarController->setDiscreet(fresh.discreetMode());
    }
    if (fresh.primaryMetal() != old.primaryMetal()) {
        m_menuBarController->setPrimaryMetal(fresh.primaryMetal());
    }
    if (currencyChanged) {
        m_menuBarController->setCurrency(fresh.displayCurrency());
    }
    if (fresh.displayMode() != old.displayMode()) {
        m_menuBarController->setDisplayMode(fresh.displayMode());
    }
}

void AppDelegate::showPopover() {
    if (m_menuBarController) {
        m_menuBarController->showPopover();
    }
}

void AppDelegate::applicationWillTerminate() {
    if (m_settingsObserver.isValid()) {
        m_env.preferences->removeObserver(m_settingsObserver);
        m_settingsObserver = {};
    }
    // Stopped here rather than in a later turn: the service is released just below, and the
    // event loop may not run again before the process ends.
    if (m_pricingService) {
        m_pricingService->stop();
    }
    m_alertMonitor.reset();
    m_notifier.reset();
    m_menuBarController.reset();
    m_chartController.reset();
    m_vaultController.reset();
    m_settingsController.reset();
    m_pricingService.reset();
}

}  // namespace mintlux
