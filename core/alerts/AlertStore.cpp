#include "alerts/AlertStore.h"

#include "persistence/PreferencesStore.h"

#include <algorithm>

#include <QUuid>

namespace mintlux {

std::vector<AlertRule> AlertStore::rules() const {
    const auto bytes = m_preferences.data(kKey);
    if (!bytes) {
        return {};
    }
    try {
        return Json::decode<AlertRuleList>(*bytes, m_decoder).rules;
    } catch (const DecodingError&) {
        return {};
    }
}

void AlertStore::setRules(const std::vector<AlertRule>& rules) {
    JsonWriter w;
    AlertRuleList{rules}.writeJson(w);
    m_preferences.set(PreferenceValue(w.take()), kKey);
}

std::optional<AlertRule> AlertStore::rule(const QString& id) const {
    for (AlertRule& rule : rules()) {
        if (rule.id == id) {
            return std::move(rule);
        }
    }
    return std::nullopt;
}

void AlertStore::put(const AlertRule& rule) {
    std::vector<AlertRule> all = rules();
    const auto it =
        std::find_if(all.begin(), all.end(), [&](const AlertRule& r) { return r.id == rule.id; });
    if (it != all.end()) {
        if (*it == rule) {
            return;
        }
        *it = rule;
    } else {
        all.push_back(rule);
    }
    setRules(all);
}

void AlertStore::remove(const QString& id) {
    std::vector<AlertRule> all = rules();
    const auto removed = std::erase_if(all, [&](const AlertRule& r) { return r.id == id; });
    if (removed > 0) {
        setRules(all);
    }
}

QString AlertStore::newId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

}  // namespace mintlux
