#pragma once

#include "SettingsView.h"

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace mintlux {

class LoginItem;
class PreferencesStore;
class WindowActivator;

// The one settings window of the run. Its content is made once with the window, so the page
// last chosen and any error line are still there when it is opened again.
class SettingsWindowController {
public:
    static constexpr const char* kTitle = "Mintlux Settings";

    SettingsWindowController(PreferencesStore& preferences, LoginItem& loginItem,
                             WindowActivator& activator);
    ~SettingsWindowController();
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    // On `page` when given, else on the page it last showed; Alerts with the level field
    // focused.
    void show(std::optional<SettingsView::Tab> page = std::nullopt);
    // Whether alerts can be delivered, for the Alerts page; none hides its line.
    void setNotificationStatus(std::function<QString()> status);

    // Null until the first show.
    QWidget* window() const { return m_window.get(); }
    SettingsView* view() const { return m_view; }

private:
    PreferencesStore& m_preferences;
    LoginItem& m_loginItem;
    WindowActivator& m_activator;
    std::unique_ptr<QWidget> m_window;
    SettingsView* m_view = nullptr;
    std::function<QString()> m_notificationStatus;
};

}  // namespace mintlux
