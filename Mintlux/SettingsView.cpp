#include "SettingsView.h"

#include "AlertsView.h"
#include "IcuBridge.h"
#include "SegmentedChooser.h"
#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "persistence/SettingsKey.h"
#include "persistence/SettingsStore.h"
#include "platform/LoginItem.h"
#include "platform/TitleRenderer.h"

#include <algorithm>
#include <memory>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <unicode/calendar.h>
#include <unicode/locid.h>

namespace mintlux {

namespace {

QFont scaled(const QFont& base, qreal scale) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * scale);
    return font;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    widget->setPalette(p);
}

}  // namespace

SettingsView::SettingsView(PreferencesStore& preferences, LoginItem& loginItem, QWidget* parent)
    : QWidget(parent), m_preferences(preferences), m_loginItem(loginItem) {
    setObjectName(QStringLiteral("SettingsView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_pages = new SegmentedChooser({QStringLiteral("General"), QStringLiteral("Display"),
                                    QStringLiteral("Alerts"), QStringLiteral("About")},
                                   this);
    m_pages->setObjectName(QStringLiteral("pages"));
    m_pages->setAccessibleName(QStringLiteral("Settings page"));
    auto* chooserRow = new QHBoxLayout;
    chooserRow->setContentsMargins(16, 14, 16, 12);
    chooserRow->addStretch(1);
    chooserRow->addWidget(m_pages);
    chooserRow->addStretch(1);
    column->addLayout(chooserRow);

    m_divider = new QFrame(this);
    m_divider->setFrameShape(QFrame::HLine);
    m_divider->setFrameShadow(QFrame::Plain);
    m_divider->setFixedHeight(1);
    column->addWidget(m_divider);

    m_stack = new QStackedWidget(this);
    m_stack->setContentsMargins(16, 0, 16, 0);
    m_stack->addWidget(makeGeneralPage());
    m_stack->addWidget(makeDisplayPage());
    m_alerts = new AlertsView(m_preferences, PriceFormatter::userLocale(), this);
    m_stack->addWidget(m_alerts);
    m_stack->addWidget(makeAboutPage());
    column->addWidget(m_stack, 1);
    connect(m_pages, &SegmentedChooser::activated, this, [this](int index) {
        m_stack->setCurrentIndex(index);
        // A click on Alerts leads on to the level, so a level and Enter make a rule; the arrow
        // keys stay in the chooser they move.
        if (static_cast<Tab>(index) == Tab::alerts &&
            QGuiApplication::mouseButtons() != Qt::NoButton) {
            m_alerts->focusLevel();
        }
    });

    syncFromStore();
    applyColors();
    const QPointer<SettingsView> weak(this);
    m_observer = m_preferences.addObserver(this, [weak] {
        if (weak) {
            weak->syncFromStore();
        }
    });
}

SettingsView::~SettingsView() {
    m_preferences.removeObserver(m_observer);
}

QWidget* SettingsView::makeGeneralPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("general"));
    auto* form = new QVBoxLayout(page);
    form->setContentsMargins(0, 20, 0, 20);
    form->setSpacing(6);
    m_launchAtLogin = new QCheckBox(QStringLiteral("Launch Mintlux at login"), page);
    m_launchAtLogin->setObjectName(QStringLiteral("launchAtLogin"));
    form->addWidget(m_launchAtLogin, 0, Qt::AlignLeading);
    m_error = new QLabel(page);
    m_error->setObjectName(QStringLiteral("launchAtLoginError"));
    m_error->setFont(scaled(font(), 0.85));
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->hide();
    form->addWidget(m_error);
    form->addStretch(1);
    // The user's flip: the key first, then the registration, which may put both back.
    connect(m_launchAtLogin, &QCheckBox::clicked, this, [this](bool checked) {
        setLaunchAtLogin(checked);
        applyLaunchAtLogin(checked);
    });
    return page;
}

QWidget* SettingsView::makeDisplayPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("display"));
    auto* form = new QFormLayout(page);
    form->setContentsMargins(0, 20, 0, 20);
    form->setVerticalSpacing(14);
    form->setLabelAlignment(Qt::AlignTrailing | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    m_metal = new QComboBox(page);
    m_metal->setObjectName(QStringLiteral("primaryMetal"));
    for (const MetalSeries metal : MetalSeries::allCases()) {
        m_metal->addItem(metal.symbolForUI() + QStringLiteral(" \u2014 ") + metal.displayName());
    }
    form->addRow(QStringLiteral("Display metal"), m_metal);
    connect(m_metal, &QComboBox::activated, this, [this](int index) {
        m_preferences.set(MetalSeries::allCases().at(static_cast<std::size_t>(index)).rawValue(),
                          SettingsKey::primaryMetal);
    });

    m_currency = new QComboBox(page);
    m_currency->setObjectName(QStringLiteral("displayCurrency"));
    for (const Currency currency : Currency::allCases()) {
        m_currency->addItem(currency.symbol() + QLatin1Char(' ') + currency.displayName());
    }
    form->addRow(QStringLiteral("Display currency"), m_currency);
    connect(m_currency, &QComboBox::activated, this, [this](int index) {
        m_preferences.set(Currency::allCases().at(static_cast<std::size_t>(index)).rawValue(),
                          SettingsKey::displayCurrency);
    });

    auto* modes = new QWidget(page);
    auto* modeColumn = new QVBoxLayout(modes);
    modeColumn->setContentsMargins(0, 0, 0, 0);
    modeColumn->setSpacing(4);
    m_modes = new QButtonGroup(this);
    for (const DisplayMode mode : DisplayMode::allCases()) {
        auto* button = new QRadioButton(mode.displayName(), modes);
        button->setObjectName(mode.rawValue());
        m_modes->addButton(button, static_cast<int>(mode.index()));
        modeColumn->addWidget(button);
    }
    form->addRow(QStringLiteral("Menu bar display"), modes);
    // The two menus line up; the group's title sits on the line of its first choice.
    const int menuWidth = std::max(m_metal->sizeHint().width(), m_currency->sizeHint().width());
    m_metal->setMinimumWidth(menuWidth);
    m_currency->setMinimumWidth(menuWidth);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(modes))) {
        label->setAlignment(Qt::AlignTrailing | Qt::AlignTop);
        const int first = m_modes->buttons().constFirst()->sizeHint().height();
        label->setContentsMargins(0, std::max(0, (first - label->sizeHint().height()) / 2), 0, 0);
    }
    connect(m_modes, &QButtonGroup::idClicked, this, [this](int id) {
        m_preferences.set(DisplayMode::allCases().at(static_cast<std::size_t>(id)).rawValue(),
                          SettingsKey::displayMode);
    });

    m_discreet = new QCheckBox(QStringLiteral("Hide what I own"), page);
    m_discreet->setObjectName(QStringLiteral("discreetMode"));
    m_discreet->setToolTip(
        QStringLiteral("Masks vault quantities and worth in the menu bar, the popup and the vault "
                       "window. Prices stay visible."));
    m_discreet->setAccessibleDescription(m_discreet->toolTip());
    form->addRow(QStringLiteral("Discreet mode"), m_discreet);
    connect(m_discreet, &QCheckBox::clicked, this,
            [this](bool checked) { m_preferences.set(checked, SettingsKey::discreetMode); });
    return page;
}

QWidget* SettingsView::makeAboutPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("about"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 20, 0, 20);
    column->setSpacing(6);
    column->addStretch(1);

    auto* icon = new QLabel(page);
    icon->setObjectName(QStringLiteral("icon"));
    const qreal ratio = devicePixelRatioF();
    QPixmap image = QIcon(QStringLiteral(":/MintluxIcon.png")).pixmap(QSize(80, 80), ratio);
    icon->setPixmap(image);
    icon->setFixedSize(80, 80);
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon, 0, Qt::AlignHCenter);
    column->addSpacing(4);

    auto* name = new QLabel(QStringLiteral("Mintlux"), page);
    QFont title = font();
    title.setPointSizeF(24);
    title.setBold(true);
    name->setFont(title);
    column->addWidget(name, 0, Qt::AlignHCenter);

    m_version = new QLabel(QStringLiteral("v1.1"), page);
    m_version->setFont(scaled(font(), 0.85));
    column->addWidget(m_version, 0, Qt::AlignHCenter);

    column->addSpacing(12);
    m_footer = new QLabel(page);
    m_footer->setObjectName(QStringLiteral("footer"));
    m_footer->setFont(scaled(font(), 0.85));
    m_footer->setText(QStringLiteral("\u00A9 ") + yearString() + QStringLiteral(" Mintlux"));
    column->addWidget(m_footer, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return page;
}

SettingsView::Tab SettingsView::selection() const {
    return static_cast<Tab>(m_stack->currentIndex());
}

void SettingsView::setSelection(Tab tab) {
    m_pages->setCurrentIndex(static_cast<int>(tab));
    m_stack->setCurrentIndex(static_cast<int>(tab));
}

void SettingsView::setNotificationStatus(std::function<QString()> status) {
    m_alerts->setNotificationStatus(std::move(status));
}

QRadioButton* SettingsView::modeButton(DisplayMode mode) const {
    return qobject_cast<QRadioButton*>(m_modes->button(static_cast<int>(mode.index())));
}

void SettingsView::syncFromStore() {
    const SettingsSnapshot settings = SettingsStore(m_preferences).snapshot();
    m_launchAtLogin->setChecked(settings.launchAtLogin());
    m_metal->setCurrentIndex(static_cast<int>(settings.primaryMetal().index()));
    m_currency->setCurrentIndex(static_cast<int>(settings.displayCurrency().index()));
    modeButton(settings.displayMode())->setChecked(true);
    m_discreet->setChecked(settings.discreetMode());
}

void SettingsView::setLaunchAtLogin(bool value) {
    m_preferences.set(value, SettingsKey::launchAtLogin);
    m_launchAtLogin->setChecked(value);
}

void SettingsView::applyLaunchAtLogin(bool enable) {
    m_error->clear();
    m_error->hide();
    try {
        if (enable) {
            m_loginItem.registerAtLogin();
        } else {
            m_loginItem.unregisterAtLogin();
        }
    } catch (const std::exception& error) {
        m_error->setText(QStringLiteral("Couldn't ") +
                         (enable ? QStringLiteral("enable") : QStringLiteral("disable")) +
                         QStringLiteral(" launch at login: ") +
                         QString::fromStdString(error.what()));
        m_error->show();
        setLaunchAtLogin(!enable);
    }
}

QString SettingsView::launchAtLoginError() const {
    return m_error->text();
}

QString SettingsView::yearString(Instant when, const QString& locale) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const icu::Locale icuLocale = IcuBridge::locale(locale);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(icuLocale, status));
    if (U_SUCCESS(status) && calendar) {
        calendar->setTime(static_cast<UDate>(millis), status);
        const int32_t year = calendar->get(UCAL_YEAR, status);
        if (U_SUCCESS(status)) {
            return QString::number(year);
        }
    }
    const std::chrono::year_month_day date(std::chrono::floor<std::chrono::days>(when));
    return QString::number(static_cast<int>(date.year()));
}

QString SettingsView::footerText() const {
    return m_footer->text();
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Worked out on every display, so a window left open over New Year shows the new one.
    m_footer->setText(QStringLiteral("\u00A9 ") + yearString() + QStringLiteral(" Mintlux"));
}

void SettingsView::applyColors() {
    const QPalette& p = palette();
    const TitleColors colors =
        TitleColors::forBackground(p.color(QPalette::Window), p.color(QPalette::WindowText));
    setTextColor(m_error, colors.negative);
    setTextColor(m_version, p.color(QPalette::PlaceholderText));
    // A step fainter than the secondary text, and still readable.
    QColor tertiary = p.color(QPalette::PlaceholderText);
    tertiary.setAlphaF(tertiary.alphaF() * 0.9F);
    setTextColor(m_footer, tertiary);
    // A faint line of the text colour reads the same on light and dark backgrounds.
    QColor line = p.color(QPalette::WindowText);
    line.setAlphaF(0.15F);
    setTextColor(m_divider, line);
}

void SettingsView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

}  // namespace mintlux
