#include "MenuBarController.h"

#include "FeedStatusText.h"
#include "MenuBarTitleFormatter.h"
#include "alerts/AlertStore.h"
#include "persistence/VaultStore.h"
#include "platform/DesktopStatusItem.h"

namespace mintlux {

MenuBarController::MenuBarController(std::shared_ptr<Service> service, const VaultStore& vaultStore,
                                     MetalSeries primaryMetal, Currency currency,
                                     DisplayMode displayMode, MenuBarCallbacks callbacks,
                                     Shell shell, const AlertStore* alertStore)
    : m_service(std::move(service)),
      m_vaultStore(vaultStore),
      m_alertStore(alertStore),
      m_callbacks(std::move(callbacks)),
      m_primaryMetal(primaryMetal),
      m_currency(currency),
      m_displayMode(displayMode),
      m_timers(std::move(shell.timers)),
      m_now(std::move(shell.now)),
      m_statusItem(shell.statusItem ? std::move(shell.statusItem) : createStatusItem()),
      m_popover(shell.popover ? std::move(shell.popover) : std::make_unique<Popover>()),
      m_titlePublisher(std::move(shell.titlePublisher)) {
    m_popover->setContentSize(Popover::kDefaultContentSize);
    configureButton();
    subscribeToLiveStream(m_currency);
    m_service->observeHealth(this, [this](Currency refreshed) {
        if (refreshed == m_currency) {
            updateToolTip();
        }
    });
}

std::optional<Instant> MenuBarController::lastUpdate() const {
    if (m_lastSnapshot.empty()) {
        return std::nullopt;
    }
    return m_lastSnapshot.begin()->second.timestamp();
}

QString MenuBarController::toolTip() const {
    const Instant now = m_now ? m_now() : Instant(std::chrono::system_clock::now());
    return withAlerts(
        FeedStatusText::statusToolTip(lastUpdate(), m_service->health(m_currency), now));
}

QString MenuBarController::withAlerts(QString text) const {
    for (const QString& alert : m_recentAlerts) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + alert;
    }
    return text;
}

void MenuBarController::setRecentAlerts(const QStringList& lines) {
    if (lines == m_recentAlerts) {
        return;
    }
    m_recentAlerts = lines;
    if (MenuBarView* content = builtView()) {
        content->setAlertLines(lines);
    }
    updateToolTip();
}

void MenuBarController::updateToolTip() {
    const QString text = toolTip();
    if (text == m_statusItem->toolTipText()) {
        return;
    }
    QString meaning = withAlerts(FeedStatusText::statusToolTipMeaning(
        lastUpdate().has_value(), m_service->health(m_currency)));
    if (meaning == m_toolTipMeaning) {
        // Only the time moved on: kept for the next reader, no panel is sent to read it.
        m_statusItem->setToolTipText(text, StatusItem::Announce::no);
        return;
    }
    m_toolTipMeaning = std::move(meaning);
    m_toolTipNews = true;
    m_statusItem->setToolTipText(text);
    emit toolTipChanged(text);
    publishTitle();
}

MenuBarController::~MenuBarController() {
    m_stream.reset();
    // The popup's content may hold callbacks into the delegate; it goes before the item.
    m_popover.reset();
}

QString MenuBarController::placeholderTitle(MetalSeries metal) {
    return metal.symbolForUI() + QStringLiteral(" \u2014");
}

void MenuBarController::configureButton() {
    m_statusItem->setTitle(placeholderTitle(m_primaryMetal));
    m_shownTick.reset();
    m_statusItem->setActivationHandler([this](QPoint at) { togglePopover(at); });
    m_statusItem->setMenuHandlers([this] { showPopover(); },
                                  [this] {
                                      if (m_callbacks.onQuit) {
                                          m_callbacks.onQuit();
                                      }
                                  });
    m_statusItem->setDiscreetHandler([this](bool on) {
        if (m_callbacks.onSetDiscreet) {
            m_callbacks.onSetDiscreet(on);
        }
    });
    m_statusItem->setDiscreetChecked(m_discreet);
    if (m_titlePublisher) {
        m_titlePublisher->setActivationHandler([this](QPoint at) { togglePopover(at); });
    }
    publishTitle();
}

void MenuBarController::invalidatePopoverContent() {
    m_contentCurrent = false;
    if (m_popover->isShown()) {
        buildPopoverContent();
    }
}

void MenuBarController::buildPopoverContent() {
    // A popup keeps the pointer and keyboard grabbed until it closes, so a window opened from
    // it would come up without the keyboard: the popup goes first.
    MenuBarCallbacks callbacks = m_callbacks;
    const auto closingFirst = [this](std::function<void()> open) {
        m_popover->close();
        if (open) {
            open();
        }
    };
    callbacks.onOpenChart = [closingFirst, open = m_callbacks.onOpenChart](MetalSeries metal) {
        closingFirst(open ? std::function<void()>([open, metal] { open(metal); }) : nullptr);
    };
    callbacks.onOpenVault = [closingFirst, open = m_callbacks.onOpenVault] { closingFirst(open); };
    callbacks.onOpenSettings = [closingFirst, open = m_callbacks.onOpenSettings] {
        closingFirst(open);
    };
    auto content = std::make_unique<MenuBarView>(m_service, m_currency, m_primaryMetal,
                                                 std::move(callbacks), m_timers, m_now);
    content->setDiscreet(m_discreet);
    content->setAlertLines(m_recentAlerts);
    if (m_alertStore != nullptr) {
        content->setAlerts(m_alertStore->rules());
    }
    m_popover->setContent(std::move(content));
    m_contentCurrent = true;
}

MenuBarView* MenuBarController::builtView() const {
    return static_cast<MenuBarView*>(m_popover->content());
}

MenuBarView* MenuBarController::view() {
    if (!m_contentCurrent) {
        buildPopoverContent();
    }
    return builtView();
}

void MenuBarController::subscribeToLiveStream(Currency currency) {
    m_stream = m_service->live(currency);
    // The cached snapshot, if any, arrives like every other one: in a later main-loop turn.
    connect(m_stream.get(), &LiveStreamBase::available, this, &MenuBarController::drain);
}

void MenuBarController::drain() {
    if (!m_stream) {
        return;
    }
    while (auto snapshot = m_stream->next()) {
        m_lastSnapshot = std::move(*snapshot);
        renderTitle();
    }
    // The tooltip first, so the title goes out once, with it.
    updateToolTip();
    publishTitle();
}

void MenuBarController::renderTitle() {
    const auto it = m_lastSnapshot.find(m_primaryMetal);
    if (it == m_lastSnapshot.end()) {
        return;
    }
    m_statusItem->setStyledTitle(MenuBarTitleFormatter::attributedTitle(
        it->second, m_primaryMetal, m_displayMode, m_vaultStore.entry(m_primaryMetal),
        PriceFormatter::userLocale(), m_discreet));
    m_shownTick = it->second;
}

void MenuBarController::rerenderTitle() {
    renderTitle();
    publishTitle();
}

void MenuBarController::publishTitle() {
    if (!m_titlePublisher) {
        return;
    }
    // Read back from the item, so readers get exactly what it shows.
    const StyledTitle shown = m_statusItem->title();
    title::TitleState state;
    state.text = shown.text;
    state.segments = TitlePublisher::segmentsFor(shown);
    // A tooltip whose time alone moved on goes out with the next title that is news anyway.
    const title::TitleState& last = m_titlePublisher->state();
    const bool news = m_toolTipNews || state.text != last.text || state.segments != last.segments;
    state.tooltip = news ? m_statusItem->toolTipText() : last.tooltip;
    m_toolTipNews = false;
    state.symbol = (m_shownTick ? m_shownTick->series() : m_primaryMetal).symbolForUI();
    if (m_shownTick) {
        if (const auto change = m_shownTick->significantChangePercent()) {
            state.direction = *change < Decimal(0) ? QStringLiteral("down") : QStringLiteral("up");
        }
        state.updated = std::chrono::duration_cast<std::chrono::milliseconds>(
                            m_shownTick->timestamp().time_since_epoch())
                            .count();
    }
    m_titlePublisher->publish(state);
}

void MenuBarController::setPrimaryMetal(MetalSeries metal) {
    if (metal == m_primaryMetal) {
        return;
    }
    m_primaryMetal = metal;
    invalidatePopoverContent();
    rerenderTitle();
}

void MenuBarController::setCurrency(Currency currency) {
    if (currency == m_currency) {
        return;
    }
    m_currency = currency;
    invalidatePopoverContent();
    subscribeToLiveStream(currency);
    updateToolTip();
}

void MenuBarController::setDisplayMode(DisplayMode mode) {
    if (mode == m_displayMode) {
        return;
    }
    m_displayMode = mode;
    rerenderTitle();
}

void MenuBarController::setDiscreet(bool on) {
    if (on == m_discreet) {
        return;
    }
    m_discreet = on;
    m_statusItem->setDiscreetChecked(on);
    if (MenuBarView* shown = builtView()) {
        shown->setDiscreet(on);
    }
    rerenderTitle();
}

void MenuBarController::refresh() {
    invalidatePopoverContent();
    rerenderTitle();
}

QRect MenuBarController::anchorFor(QPoint globalPos) const {
    const QRect item = m_statusItem->anchorRect();
    if (!item.isNull() || globalPos.isNull()) {
        return item;
    }
    return QRect(globalPos, QSize(1, 1));
}

void MenuBarController::togglePopover(QPoint globalPos) {
    if (!m_popover->isShown()) {
        view();
    }
    m_popover->toggle(anchorFor(globalPos));
}

void MenuBarController::showPopover(QPoint globalPos) {
    view();
    m_popover->show(anchorFor(globalPos));
}

}  // namespace mintlux
