#pragma once

#include "PriceFormatter.h"
#include "market/DisplayMode.h"
#include "market/Instant.h"
#include "persistence/PreferencesStore.h"

#include <functional>
#include <optional>

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QRadioButton;
class QStackedWidget;

namespace mintlux {

class AlertsView;
class LoginItem;
class SegmentedChooser;

// The settings window's content: General (launch at login), Display (status item metal,
// currency and mode, discreet mode) and About pages. Each control writes its preference key the
// moment it changes and follows the key when anything else changes it; the view keeps no settings
// of its own. Registering at login is the only thing it does besides writing keys.
// Between Display and About, the Alerts page (AlertsView) edits the price alerts.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    enum class Tab { general, display, alerts, about };

    SettingsView(PreferencesStore& preferences, LoginItem& loginItem, QWidget* parent = nullptr);
    ~SettingsView() override;

    Tab selection() const;
    void setSelection(Tab tab);

    // Registers or unregisters at login; on failure shows why and puts the key and the switch
    // back to the other value.
    void applyLaunchAtLogin(bool enable);
    // Empty when the last attempt succeeded.
    QString launchAtLoginError() const;

    // The year of `when` in the user's calendar, in plain digits.
    static QString yearString(Instant when = std::chrono::system_clock::now(),
                              const QString& locale = PriceFormatter::userLocale());
    QString footerText() const;

    SegmentedChooser* pageChooser() const { return m_pages; }
    QCheckBox* launchAtLoginSwitch() const { return m_launchAtLogin; }
    QComboBox* metalChooser() const { return m_metal; }
    QComboBox* currencyChooser() const { return m_currency; }
    QRadioButton* modeButton(DisplayMode mode) const;
    QCheckBox* discreetSwitch() const { return m_discreet; }
    AlertsView* alertsPage() const { return m_alerts; }
    // Whether alerts can be delivered, in words for the Alerts page; empty hides the line.
    void setNotificationStatus(std::function<QString()> status);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeGeneralPage();
    QWidget* makeDisplayPage();
    QWidget* makeAboutPage();
    // Puts every control to what the store holds now.
    void syncFromStore();
    void setLaunchAtLogin(bool value);
    void applyColors();

    PreferencesStore& m_preferences;
    LoginItem& m_loginItem;
    SegmentedChooser* m_pages = nullptr;
    QStackedWidget* m_stack = nullptr;
    QCheckBox* m_launchAtLogin = nullptr;
    QLabel* m_error = nullptr;
    QComboBox* m_metal = nullptr;
    QComboBox* m_currency = nullptr;
    QButtonGroup* m_modes = nullptr;
    QCheckBox* m_discreet = nullptr;
    AlertsView* m_alerts = nullptr;
    QFrame* m_divider = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_footer = nullptr;
    PreferencesStore::ObserverToken m_observer;
};

}  // namespace mintlux
