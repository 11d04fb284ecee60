#include "MenuBarView.h"

#include "AlertText.h"
#include "IcuBridge.h"
#include "MetalRow.h"
#include "PopoverIcons.h"
#include "platform/MainLoopTimer.h"
#include "platform/TitleRenderer.h"

#include <QAbstractButton>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace mintlux {

namespace {

// Amber reads as "attention" on light and dark backgrounds alike.
const QColor kDelayedColor(0xE0, 0x8E, 0x0B);

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.15F);
    palette.setColor(QPalette::WindowText, color);
    line->setPalette(palette);
    return line;
}

// The indicator's filled circle; its colour is the status's.
class Dot : public QWidget {
public:
    explicit Dot(QWidget* parent) : QWidget(parent) { setFixedSize(6, 6); }
    void setColor(const QColor& color) {
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(rect());
    }

private:
    QColor m_color;
};

QToolButton* footerButton(const QString& name, const QString& tip, PopoverIcons::Kind icon,
                          const QColor& color, std::function<void()> action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setIcon(PopoverIcons::icon(icon, color));
    button->setIconSize(QSize(16, 16));
    QObject::connect(button, &QToolButton::clicked, button, [action = std::move(action)] {
        if (action) {
            action();
        }
    });
    return button;
}

}  // namespace

MenuBarView::MenuBarView(std::shared_ptr<Service> service, Currency currency,
                         MetalSeries primaryMetal, MenuBarCallbacks callbacks, TimerFactory timers,
                         Now now, QWidget* parent)
    : QWidget(parent),
      m_service(std::move(service)),
      m_currency(currency),
      m_primaryMetal(primaryMetal),
      m_callbacks(std::move(callbacks)),
      m_now(now ? std::move(now) : Now([] { return std::chrono::system_clock::now(); })),
      m_nowTick(m_now()),
      m_timer(timers ? timers() : MainLoopTimer::factory()()) {
    setObjectName(QStringLiteral("MenuBarView"));
    setFixedWidth(320);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    const auto metals = MetalSeries::allCases();
    for (std::size_t i = 0; i < metals.size(); ++i) {
        const MetalSeries metal = metals[i];
        auto* row = new MetalRow(
            metal, metal == primaryMetal,
            [this, metal] {
                if (m_callbacks.onSelectPrimary) {
                    m_callbacks.onSelectPrimary(metal);
                }
            },
            [this, metal] {
                if (m_callbacks.onOpenChart) {
                    m_callbacks.onOpenChart(metal);
                }
            },
            this);
        m_rows.push_back(row);
        column->addWidget(row);
        if (i + 1 < metals.size()) {
            column->addWidget(divider(this));
        }
    }
    // The popup is taller than four rows; the footer stays at its bottom edge like a toolbar.
    column->addStretch(1);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("feedNote"));
    m_note->setWordWrap(true);
    m_note->setContentsMargins(12, 6, 12, 6);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont noteFont = font();
    noteFont.setPointSizeF(font().pointSizeF() * 0.85);
    m_note->setFont(noteFont);
    m_note->hide();
    // Alerts that fired lately: where no notification server runs, the only place they show.
    m_alerts = new QLabel(this);
    m_alerts->setObjectName(QStringLiteral("alertNote"));
    m_alerts->setWordWrap(true);
    m_alerts->setContentsMargins(12, 6, 12, 6);
    m_alerts->setTextFormat(Qt::PlainText);
    m_alerts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_alerts->hide();
    column->addWidget(m_alerts);
    column->addWidget(m_note);
    column->addWidget(divider(this));

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(8, 8, 8, 8);
    footer->setSpacing(8);

    m_pill = new QWidget(this);
    m_pill->setObjectName(QStringLiteral("marketPill"));
    auto* pill = new QHBoxLayout(m_pill);
    pill->setContentsMargins(0, 0, 0, 0);
    pill->setSpacing(5);
    m_dot = new Dot(m_pill);
    m_pillLabel = new QLabel(m_pill);
    QFont caption = font();
    caption.setPointSizeF(font().pointSizeF() * 0.85);
    m_pillLabel->setFont(caption);
    QPalette dimmed = m_pillLabel->palette();
    dimmed.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText));
    m_pillLabel->setPalette(dimmed);
    pill->addWidget(m_dot, 0, Qt::AlignVCenter);
    pill->addWidget(m_pillLabel, 0, Qt::AlignVCenter);
    footer->addWidget(m_pill, 0, Qt::AlignVCenter);
    footer->addStretch(1);

    const QColor iconColor = palette().color(QPalette::WindowText);
    m_discreet = footerButton(QStringLiteral("discreetButton"), QStringLiteral("Discreet mode"),
                              PopoverIcons::Kind::discreet, iconColor, nullptr, this);
    m_discreet->setCheckable(true);
    m_discreet->setToolTip(QStringLiteral("Discreet mode: hide what you own"));
    m_discreet->setAccessibleDescription(
        QStringLiteral("Hides vault quantities and worth everywhere; prices stay visible"));
    connect(m_discreet, &QToolButton::clicked, this, [this](bool on) {
        // The button shows the setting, not the click, until the setting follows.
        m_discreet->setChecked(!on);
        if (m_callbacks.onSetDiscreet) {
            m_callbacks.onSetDiscreet(on);
        }
    });
    m_vault = footerButton(QStringLiteral("vaultButton"), QStringLiteral("My Vault"),
                           PopoverIcons::Kind::vault, iconColor, m_callbacks.onOpenVault, this);
    m_settings =
        footerButton(QStringLiteral("settingsButton"), QStringLiteral("Settings"),
                     PopoverIcons::Kind::settings, iconColor, m_callbacks.onOpenSettings, this);
    m_quit = footerButton(QStringLiteral("quitButton"), QStringLiteral("Quit Mintlux"),
                          PopoverIcons::Kind::quit, iconColor, m_callbacks.onQuit, this);
    footer->addWidget(m_discreet);
    footer->addWidget(m_vault);
    footer->addWidget(m_settings);
    footer->addWidget(m_quit);
    column->addLayout(footer);

    // Failures bring no snapshot; without this the indicator would learn of them only from
    // the minute's clock check.
    m_service->observeHealth(this, [this](Currency refreshed) {
        if (refreshed == m_currency && isVisible()) {
            m_nowTick = m_now();
            updatePill();
        }
    });
    updatePill();
    // Space presses a focused button; Enter and Return do too here, as keyboard users expect
    // of a popup's buttons.
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        button->installEventFilter(this);
    }
}

MenuBarView::~MenuBarView() = default;

bool MenuBarView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter) &&
            button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MenuBarView::setDiscreet(bool on) {
    m_discreet->setChecked(on);
}

MetalRow* MenuBarView::row(MetalSeries metal) const {
    return m_rows.at(metal.index());
}

void MenuBarView::setAlerts(const std::vector<AlertRule>& rules) {
    for (MetalRow* row : m_rows) {
        QStringList conditions;
        for (const AlertRule& rule : rules) {
            if (rule.metal == row->metal() && AlertText::canFire(rule)) {
                conditions << AlertText::condition(rule);
            }
        }
        row->setAlerts(conditions);
    }
}

MarketStatus MenuBarView::marketStatus() const {
    return MarketHours::status(m_lastUpdate, m_nowTick);
}

FeedStatusText::Pill MenuBarView::pillState() const {
    return FeedStatusText::pill(m_lastUpdate, m_service->health(m_currency),
                                m_service->refreshInterval(), m_nowTick);
}

QString MenuBarView::noteText() const {
    return m_note->isHidden() ? QString() : m_note->text();
}

void MenuBarView::setAlertLines(const QStringList& lines) {
    m_alerts->setText(lines.join(QLatin1Char('\n')));
    m_alerts->setAccessibleName(QStringLiteral("Recent alerts: ") +
                                lines.join(QStringLiteral("; ")));
    m_alerts->setVisible(!lines.isEmpty());
}

QString MenuBarView::alertText() const {
    return m_alerts->isHidden() ? QString() : m_alerts->text();
}

QString MenuBarView::marketLabel() const {
    return m_pillLabel->text();
}

QString MenuBarView::marketToolTip() const {
    return m_pill->toolTip();
}

void MenuBarView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_stream) {
        m_stream = m_service->live(m_currency);
        connect(m_stream.get(), &LiveStreamBase::available, this, &MenuBarView::drain);
        drain();
    }
    m_nowTick = m_now();
    updatePill();
    m_timer->start(kMarketRecheck, [this](Instant at) {
        m_nowTick = at;
        updatePill();
    });
}

void MenuBarView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
    m_stream.reset();
}

void MenuBarView::drain() {
    if (!m_stream) {
        return;
    }
    while (auto snapshot = m_stream->next()) {
        apply(*snapshot);
    }
}

void MenuBarView::apply(const Service::Snapshot& snapshot) {
    m_snapshot = snapshot;
    m_lastUpdate = snapshot.empty() ? std::nullopt
                                    : std::optional<Instant>(snapshot.begin()->second.timestamp());
    for (MetalRow* row : m_rows) {
        const auto it = m_snapshot.find(row->metal());
        row->setTick(it == m_snapshot.end() ? std::nullopt
                                            : std::optional<MetalPriceTick>(it->second));
    }
    updatePill();
}

void MenuBarView::updatePill() {
    using FeedStatusText::Pill;
    const FeedHealth health = m_service->health(m_currency);
    const Pill state = pillState();
    const QPalette& p = palette();
    const TitleColors colors =
        TitleColors::forBackground(p.color(QPalette::Window), p.color(QPalette::WindowText));
    QColor dot = p.color(QPalette::PlaceholderText);
    if (state == Pill::live) {
        dot = colors.positive;
    } else if (state == Pill::delayed) {
        dot = kDelayedColor;
    }
    m_pillLabel->setText(FeedStatusText::pillLabel(state));
    static_cast<Dot*>(m_dot)->setColor(dot);
    m_pill->setToolTip(FeedStatusText::pillToolTip(state, m_lastUpdate, health));
    m_pill->setAccessibleName(m_pillLabel->text());
    m_pill->setAccessibleDescription(m_pill->toolTip());
    m_note->setVisible(health.lastRefreshFailed());
    if (health.lastRefreshFailed()) {
        m_note->setText(FeedStatusText::describeFailure(health.lastFailure, health.endpoint));
        m_note->setToolTip(m_pill->toolTip());
    }
}

QString MenuBarView::absoluteTimeString(Instant when, const QString& locale,
                                        const QString& timeZone) {
    const icu::Locale icuLocale = IcuBridge::locale(locale);
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale));
    if (!format) {
        return {};
    }
    if (!timeZone.isEmpty()) {
        const std::u16string id = timeZone.toStdU16String();
        format->adoptTimeZone(icu::TimeZone::createTimeZone(
            icu::UnicodeString(id.data(), static_cast<int32_t>(id.size()))));
    }
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    icu::UnicodeString text;
    format->format(static_cast<UDate>(millis), text);
    return IcuBridge::fromIcu(text);
}

}  // namespace mintlux
