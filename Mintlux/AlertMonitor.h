#pragma once

#include "alerts/AlertEngine.h"
#include "alerts/AlertStore.h"
#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "pricing/MetalPricingService.h"

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QObject>
#include <QStringList>

namespace mintlux {

class DesktopNotifier;
class PreferencesStore;

// Watches the prices of every currency that has an enabled alert rule, fires rules through the
// engine, writes their state back to the store and hands the firings to the desktop's
// notification server. What fired lately also shows in the popup and the status item's tooltip,
// which is all the user gets where no notification server runs.
class AlertMonitor : public QObject {
    Q_OBJECT

public:
    using Now = std::function<Instant()>;

    static constexpr std::chrono::hours kSnooze{1};
    // How long a firing stays in the popup and the tooltip.
    static constexpr std::chrono::hours kRecent{1};

    // `notifier` may be null: the alerts then show only in the popup and the tooltip.
    AlertMonitor(std::shared_ptr<MetalPricingService> service, PreferencesStore& preferences,
                 DesktopNotifier* notifier, Now now = {},
                 std::function<void(MetalSeries)> openChart = {}, QObject* parent = nullptr);
    ~AlertMonitor() override;

    // Follows the stored rules: subscribes to the currencies they need and drops the rest.
    void reload();

    // Recent firings, newest first, one line each ("Gold above $2,400.00: $2,401.20 at 14:32").
    QStringList recentAlerts() const;
    // Why notifications cannot reach the desktop; empty while they can.
    QString notificationProblem() const;

signals:
    void recentAlertsChanged();

private:
    struct Feed {
        std::unique_ptr<MetalPricingService::SnapshotStream> stream;
        std::unique_ptr<MetalPricingService::PollHandle> poll;
    };
    struct Recent {
        QString ruleId;
        QString text;
        Instant at;
    };

    void drain(Currency currency);
    void deliver(const AlertFiring& firing);
    void onAction(const QString& ruleId, const QString& action);
    void pruneRecent();

    std::shared_ptr<MetalPricingService> m_service;
    PreferencesStore& m_preferences;
    AlertStore m_store;
    DesktopNotifier* m_notifier;
    Now m_now;
    std::function<void(MetalSeries)> m_openChart;
    AlertEngine m_engine;
    std::vector<Recent> m_recent;
    // Last, so the streams go first.
    std::unordered_map<Currency, Feed> m_feeds;
};

}  // namespace mintlux
