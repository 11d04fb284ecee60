#pragma once

#include "FeedStatusText.h"
#include "MarketHours.h"
#include "MenuBarCallbacks.h"
#include "PriceFormatter.h"
#include "alerts/AlertRule.h"
#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "platform/RepeatingTimer.h"
#include "pricing/PricingService.h"

#include <memory>
#include <optional>

#include <QWidget>

class QLabel;
class QToolButton;

namespace mintlux {

class MetalRow;

// The popup's content: a row per metal with price and day's change, then a footer with the
// market indicator and the discreet mode toggle, vault, settings and quit buttons. While shown it
// follows the live prices through a subscription of its own, and the indicator re-checks the clock
// every minute; hidden, it holds neither.
class MenuBarView : public QWidget {
    Q_OBJECT

public:
    using Service = PricingService<MetalSeries, MetalUnit>;
    using Now = std::function<Instant()>;

    static constexpr std::chrono::seconds kMarketRecheck{60};

    MenuBarView(std::shared_ptr<Service> service, Currency currency, MetalSeries primaryMetal,
                MenuBarCallbacks callbacks, TimerFactory timers, Now now,
                QWidget* parent = nullptr);
    ~MenuBarView() override;

    Currency currency() const { return m_currency; }
    MetalSeries primaryMetal() const { return m_primaryMetal; }
    MarketStatus marketStatus() const;
    FeedStatusText::Pill pillState() const;
    QString marketLabel() const;
    QString marketToolTip() const;
    // The line over the footer that says why prices are not arriving; empty while they are.
    QString noteText() const;
    // Alerts that fired lately, a line each; none hides the line.
    void setAlertLines(const QStringList& lines);
    QString alertText() const;
    std::optional<Instant> lastUpdate() const { return m_lastUpdate; }
    bool isSubscribed() const { return m_stream != nullptr; }

    MetalRow* row(MetalSeries metal) const;
    // Shows the mode as set; a click asks for the other one through the callbacks.
    void setDiscreet(bool on);
    QToolButton* discreetButton() const { return m_discreet; }
    // Rings the bell on the rows of metals with a rule that can still fire.
    void setAlerts(const std::vector<AlertRule>& rules);
    QToolButton* vaultButton() const { return m_vault; }
    QToolButton* settingsButton() const { return m_settings; }
    QToolButton* quitButton() const { return m_quit; }

    // Medium date and short time, in the given locale and, when named, time zone (else the
    // user's).
    static QString absoluteTimeString(Instant when,
                                      const QString& locale = PriceFormatter::userLocale(),
                                      const QString& timeZone = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void drain();
    void apply(const Service::Snapshot& snapshot);
    void updatePill();

    std::shared_ptr<Service> m_service;
    Currency m_currency;
    MetalSeries m_primaryMetal;
    MenuBarCallbacks m_callbacks;
    Now m_now;
    Service::Snapshot m_snapshot;
    std::optional<Instant> m_lastUpdate;
    Instant m_nowTick;
    std::unique_ptr<RepeatingTimer> m_timer;
    std::vector<MetalRow*> m_rows;
    QWidget* m_pill = nullptr;
    QWidget* m_dot = nullptr;
    QLabel* m_pillLabel = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_alerts = nullptr;
    QToolButton* m_discreet = nullptr;
    QToolButton* m_vault = nullptr;
    QToolButton* m_settings = nullptr;
    QToolButton* m_quit = nullptr;
    std::unique_ptr<Service::SnapshotStream> m_stream;
};

}  // namespace mintlux
