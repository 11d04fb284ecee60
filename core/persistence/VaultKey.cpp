#include "persistence/VaultKey.h"

namespace mintlux::VaultKey {

QString entry(MetalSeries series) {
    return prefix + series.rawValue();
}

bool matches(QStringView key) noexcept {
    return key.startsWith(prefix, Qt::CaseSensitive);
}

}  // namespace mintlux::VaultKey
