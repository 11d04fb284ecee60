#include "persistence/VaultStore.h"

#include "market/DecimalLimits.h"
#include "persistence/PreferencesStore.h"
#include "persistence/VaultKey.h"

namespace mintlux {

VaultEntry VaultStore::entry(MetalSeries series) const {
    const auto bytes = m_defaults.data(VaultKey::entry(series));
    if (!bytes) {
        return VaultEntry::defaultEntry();
    }
    try {
        return Json::decode<VaultEntry>(*bytes, m_decoder);
    } catch (const DecodingError&) {
        return VaultEntry::defaultEntry();
    }
}

void VaultStore::setEntry(const VaultEntry& entry, MetalSeries series) {
    entry.writeJson(m_encoder);
    m_defaults.set(PreferenceValue(m_encoder.take()), VaultKey::entry(series));
}

std::unordered_map<MetalSeries, VaultEntry> VaultStore::snapshot() const {
    std::unordered_map<MetalSeries, VaultEntry> entries;
    for (const MetalSeries series : MetalSeries::allCases()) {
        entries.emplace(series, entry(series));
    }
    return entries;
}

Decimal VaultStore::totalValue(const std::unordered_map<MetalSeries, MetalPriceTick>& ticks) const {
    Decimal total;
    for (const MetalSeries series : MetalSeries::allCases()) {
        const auto tick = ticks.find(series);
        if (tick == ticks.end()) {
            continue;
        }
        total = saturatingSum(total, entry(series).value(series, tick->second));
    }
    return total;
}

}  // namespace mintlux
