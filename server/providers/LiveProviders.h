#pragma once

#include "providers/MarketProviders.h"

#include <memory>
#include <vector>

class QNetworkAccessManager;

namespace mintlux::server {

// The real upstreams, each list in the order the service tries them.
struct LiveProviders {
    std::vector<std::unique_ptr<SpotProvider>> spot;
    std::vector<std::unique_ptr<FxProvider>> fx;
    std::vector<std::unique_ptr<DailyHistoryProvider>> daily;
};

LiveProviders makeLiveProviders(QNetworkAccessManager& network);

}  // namespace mintlux::server
