#include "SettingsWindowController.h"

#include "AlertsView.h"
#include "platform/Windows.h"

#include <QShortcut>
#include <QWidget>

namespace mintlux {

SettingsWindowController::SettingsWindowController(PreferencesStore& preferences,
                                                   LoginItem& loginItem, WindowActivator& activator)
    : m_preferences(preferences), m_loginItem(loginItem), m_activator(activator) {}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::show(std::optional<SettingsView::Tab> page) {
    if (!m_window) {
        m_window = std::make_unique<QWidget>();
        m_window->setObjectName(QStringLiteral("settingsWindow"));
        configureWindow(*m_window, {QString::fromLatin1(kTitle), QSize(480, 360), false, {}});
        auto view = std::make_unique<SettingsView>(m_preferences, m_loginItem);
        m_view = view.get();
        m_view->setNotificationStatus(m_notificationStatus);
        setWindowContent(*m_window, std::move(view));
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), m_window.get());
        QObject::connect(close, &QShortcut::activated, m_window.get(), &QWidget::close);
    }
    if (page) {
        m_view->setSelection(*page);
        if (*page == SettingsView::Tab::alerts) {
            m_view->alertsPage()->focusLevel();
        }
    }
    m_activator.activateApplication();
    m_activator.makeKeyAndOrderFront(*m_window);
}

void SettingsWindowController::setNotificationStatus(std::function<QString()> status) {
    m_notificationStatus = std::move(status);
    if (m_view != nullptr) {
        m_view->setNotificationStatus(m_notificationStatus);
    }
}

}  // namespace mintlux
