#pragma once

#include <memory>

class QWidget;

namespace mintlux {

class LoginItem;
class PreferencesStore;
class SettingsView;
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

    void show();

    // Null until the first show.
    QWidget* window() const { return m_window.get(); }
    SettingsView* view() const { return m_view; }

private:
    PreferencesStore& m_preferences;
    LoginItem& m_loginItem;
    WindowActivator& m_activator;
    std::unique_ptr<QWidget> m_window;
    SettingsView* m_view = nullptr;
};

}  // namespace mintlux
