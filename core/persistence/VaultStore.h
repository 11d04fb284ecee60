#pragma once

#include "json/Json.h"
#include "json/JsonWriter.h"
#include "market/Decimal.h"
#include "market/MetalSeries.h"
#include "market/PriceTick.h"
#include "persistence/VaultEntry.h"

#include <unordered_map>

namespace mintlux {

class PreferencesStore;

// The user's holdings, one per metal, kept in the preferences store as compact JSON data under
// VaultKey::entry(metal). Caches nothing: every read goes to the store. Reports no errors: a
// holding that cannot be read is the default entry, and the bad bytes stay until the next
// setEntry for that metal replaces them.
class VaultStore {
public:
    explicit VaultStore(PreferencesStore& defaults) : m_defaults(defaults) {}

    VaultEntry entry(MetalSeries series) const;
    void setEntry(const VaultEntry& entry, MetalSeries series);
    // Always all four metals.
    std::unordered_map<MetalSeries, VaultEntry> snapshot() const;
    // Sum of the values of the metals that have a tick; a metal without one counts as nothing,
    // whatever is held.
    Decimal totalValue(const std::unordered_map<MetalSeries, MetalPriceTick>& ticks) const;

private:
    PreferencesStore& m_defaults;
    JsonWriter m_encoder;
    // Reused across reads; entry() is logically const.
    mutable JsonParser m_decoder;
};

}  // namespace mintlux
