#pragma once

#include "persistence/SettingsSnapshot.h"

namespace mintlux {

class PreferencesStore;

// Reads the settings from the preferences store. Never writes: a bad stored value falls back to
// its default for this read only and stays in the store until a writer replaces it.
class SettingsStore {
public:
    explicit SettingsStore(const PreferencesStore& defaults) : m_defaults(defaults) {}

    // Read afresh every time; each key falls back on its own, so one bad value never affects
    // the others.
    SettingsSnapshot snapshot() const;

private:
    const PreferencesStore& m_defaults;
};

}  // namespace mintlux
