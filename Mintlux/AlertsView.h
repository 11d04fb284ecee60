#pragma once

#include "PriceFormatter.h"
#include "alerts/AlertStore.h"
#include "persistence/PreferencesStore.h"

#include <functional>
#include <optional>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace mintlux {

// The settings window's Alerts page: the rules, one line each with its switch and where it
// stands, and a form below that adds a rule or changes the one chosen in the list.
//
// Every write re-reads the rule it changes from the store and puts back only that rule: the
// alert monitor writes the rules' state into the same key at any time, and the page must never
// put an older copy back over it. The list follows the key.
class AlertsView : public QWidget {
    Q_OBJECT

public:
    explicit AlertsView(PreferencesStore& preferences,
                        QString locale = PriceFormatter::userLocale(), QWidget* parent = nullptr);
    ~AlertsView() override;

    // Says whether alerts can be delivered; asked each time the page is shown. Empty, or an
    // empty answer, hides the line.
    void setNotificationStatus(std::function<QString()> status);
    // Back to a blank form that adds a rule, its level field focused.
    void startNewRule();
    // Puts the keyboard in the level field, so a level and Enter make a rule.
    void focusLevel();
    // What the Add (or Save) button does.
    void submit();

    QListWidget* ruleList() const { return m_list; }
    QComboBox* metalChooser() const { return m_metal; }
    QComboBox* conditionChooser() const { return m_condition; }
    QLineEdit* levelField() const { return m_level; }
    QComboBox* currencyChooser() const { return m_currency; }
    QComboBox* unitChooser() const { return m_unit; }
    QCheckBox* repeatingSwitch() const { return m_repeating; }
    QPushButton* newButton() const { return m_new; }
    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* submitButton() const { return m_submit; }
    // The id of the rule the form changes: the one selected in the list. Empty while the form
    // adds a rule.
    QString editedRule() const { return m_editing; }
    // Empty while the form has nothing to complain about.
    QString errorText() const;
    // Empty while the line is hidden.
    QString statusText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void syncList();
    void refreshStatus();
    void load(const AlertRule& rule);
    void resetForm();
    void conditionChanged();
    std::optional<Decimal> readLevel();
    void showError(const QString& message);
    void clearError();
    void enabledToggled(QListWidgetItem* item);
    void selectionChanged(QListWidgetItem* item);
    void deleteCurrent();
    void applyColors();

    PreferencesStore& m_preferences;
    AlertStore m_store;
    QString m_locale;
    std::function<QString()> m_statusProvider;
    QString m_editing;
    // The level as the form showed it: submitted unchanged, the stored level stays exact.
    QString m_shownLevel;
    QLabel* m_status = nullptr;
    QListWidget* m_list = nullptr;
    QComboBox* m_metal = nullptr;
    QComboBox* m_condition = nullptr;
    QLineEdit* m_level = nullptr;
    QComboBox* m_currency = nullptr;
    QComboBox* m_unit = nullptr;
    QCheckBox* m_repeating = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_new = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_submit = nullptr;
    PreferencesStore::ObserverToken m_observer;
};

}  // namespace mintlux
