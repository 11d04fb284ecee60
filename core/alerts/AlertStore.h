#pragma once

#include "alerts/AlertRule.h"
#include "json/Json.h"
#include "json/JsonWriter.h"

#include <optional>
#include <vector>

namespace mintlux {

class PreferencesStore;

// The price alerts, kept in the preferences store as one JSON array under kKey. Caches nothing:
// every read goes to the store, so the editor and the monitor never work on an old copy.
class AlertStore {
public:
    static inline const QString kKey = QStringLiteral("mintlux.alerts");

    explicit AlertStore(PreferencesStore& preferences) : m_preferences(preferences) {}

    // Unreadable data reads as no rules; it stays in the store until the next write.
    std::vector<AlertRule> rules() const;
    void setRules(const std::vector<AlertRule>& rules);

    std::optional<AlertRule> rule(const QString& id) const;
    // Replaces the rule with the same id, or appends it.
    void put(const AlertRule& rule);
    void remove(const QString& id);

    // A fresh id for a new rule.
    static QString newId();

private:
    PreferencesStore& m_preferences;
    mutable JsonParser m_decoder;
};

}  // namespace mintlux
