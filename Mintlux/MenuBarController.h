#pragma once

#include "MenuBarCallbacks.h"
#include "MenuBarView.h"
#include "market/Currency.h"
#include "market/DisplayMode.h"
#include "market/MetalSeries.h"
#include "platform/Popover.h"
#include "platform/RepeatingTimer.h"
#include "platform/StatusItem.h"
#include "platform/TitlePublisher.h"

#include <memory>
#include <optional>

#include <QObject>
#include <QPoint>

namespace mintlux {

class AlertStore;
class VaultStore;

// Owns the status item and its popup. Keeps the latest snapshot of the display currency and
// renders the primary metal's title from it; the popup's content is rebuilt whole on every
// change the application delegate reports. It never reads the preferences itself.
class MenuBarController : public QObject {
    Q_OBJECT

public:
    using Service = MenuBarView::Service;

    // The desktop pieces, injectable so tests run without a desktop; empty ones are the
    // desktop's own.
    struct Shell {
        std::unique_ptr<StatusItem> statusItem;
        std::unique_ptr<Popover> popover;
        TimerFactory timers;
        MenuBarView::Now now;
        // The title on the bus for panels that draw it themselves; none publishes nothing.
        std::unique_ptr<TitlePublisher> titlePublisher;
    };

    MenuBarController(std::shared_ptr<Service> service, const VaultStore& vaultStore,
                      MetalSeries primaryMetal, Currency currency, DisplayMode displayMode,
                      MenuBarCallbacks callbacks, Shell shell,
                      const AlertStore* alertStore = nullptr);
    ~MenuBarController() override;

    void setPrimaryMetal(MetalSeries metal);
    void setCurrency(Currency currency);
    void setDisplayMode(DisplayMode mode);
    // Masks the holdings in the title (and so on the bus) and marks the toggles.
    void setDiscreet(bool on);
    // Rebuilds the popup and re-renders the title from what is held.
    void refresh();
    // Alerts that fired lately: shown in the popup and under the tooltip.
    void setRecentAlerts(const QStringList& lines);

    // The item's click: closes an open popup, else opens it at the item (or at the click where
    // the host tells nothing better) with the keyboard.
    void togglePopover(QPoint globalPos = {});
    void showPopover(QPoint globalPos = {});

    StatusItem& statusItem() const { return *m_statusItem; }
    Popover& popover() const { return *m_popover; }
    TitlePublisher* titlePublisher() const { return m_titlePublisher.get(); }
    // The popup's content, built now if it is not yet or no longer up to date.
    MenuBarView* view();
    MetalSeries primaryMetal() const { return m_primaryMetal; }
    Currency currency() const { return m_currency; }
    DisplayMode displayMode() const { return m_displayMode; }
    bool isDiscreet() const { return m_discreet; }
    const Service::Snapshot& lastSnapshot() const { return m_lastSnapshot; }
    // The status item's tooltip under its title: the time of the last update, the failure when
    // the last refresh failed, and the alerts of the last hour. Anything else that shows the
    // item's tooltip asks here. Panels are told of it when more than the time changes.
    QString toolTip() const;

    // "Au —": the title until a snapshot holds the primary metal.
    static QString placeholderTitle(MetalSeries metal);

signals:
    void toolTipChanged(const QString& toolTip);

private:
    void updateToolTip();
    std::optional<Instant> lastUpdate() const;
    QString withAlerts(QString text) const;
    void configureButton();
    // The popup's content is built when it opens: hidden, it would only hold memory.
    void invalidatePopoverContent();
    void buildPopoverContent();
    MenuBarView* builtView() const;
    void subscribeToLiveStream(Currency currency);
    void drain();
    void renderTitle();
    void rerenderTitle();
    void publishTitle();
    QRect anchorFor(QPoint globalPos) const;

    std::shared_ptr<Service> m_service;
    const VaultStore& m_vaultStore;
    // The popup's bells; none rings without it.
    const AlertStore* m_alertStore;
    MenuBarCallbacks m_callbacks;
    MetalSeries m_primaryMetal;
    Currency m_currency;
    DisplayMode m_displayMode;
    bool m_discreet = false;
    TimerFactory m_timers;
    MenuBarView::Now m_now;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<Popover> m_popover;
    std::unique_ptr<TitlePublisher> m_titlePublisher;
    Service::Snapshot m_lastSnapshot;
    QStringList m_recentAlerts;
    // The tooltip last announced, but for the time of the last update.
    QString m_toolTipMeaning;
    bool m_toolTipNews = false;
    bool m_contentCurrent = false;
    // The tick the title was last rendered from; none while it shows the placeholder.
    std::optional<MetalPriceTick> m_shownTick;
    // Last, so it goes first: no snapshot arrives for a half-destroyed controller.
    std::unique_ptr<Service::SnapshotStream> m_stream;
};

}  // namespace mintlux
