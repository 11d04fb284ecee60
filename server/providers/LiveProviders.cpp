#include "providers/LiveProviders.h"

namespace mintlux::server {

// Filled in as each upstream's provider lands.
LiveProviders makeLiveProviders(QNetworkAccessManager&) {
    return {};
}

}  // namespace mintlux::server
