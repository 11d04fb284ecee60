#include "providers/LiveProviders.h"

#include "providers/EcbFxProvider.h"
#include "providers/FrankfurterDailyProvider.h"
#include "providers/FrankfurterFxProvider.h"
#include "providers/GoldApiSpotProvider.h"
#include "providers/LbmaDailyProvider.h"
#include "providers/SwissquoteSpotProvider.h"

namespace mintlux::server {

// Spot: a bank's live bid/ask first, an aggregator second. FX: the ECB's reference rates,
// through Frankfurter's JSON first and from the ECB's own file when that is down. Daily closes:
// the LBMA's auction prices, then the central banks' reference prices through Frankfurter.
LiveProviders makeLiveProviders(QNetworkAccessManager& network) {
    LiveProviders providers;
    providers.spot.push_back(std::make_unique<SwissquoteSpotProvider>(network));
    providers.spot.push_back(std::make_unique<GoldApiSpotProvider>(network));
    providers.fx.push_back(std::make_unique<FrankfurterFxProvider>(network));
    providers.fx.push_back(std::make_unique<EcbFxProvider>(network));
    providers.daily.push_back(std::make_unique<LbmaDailyProvider>(network));
    providers.daily.push_back(std::make_unique<FrankfurterDailyProvider>(network));
    return providers;
}

}  // namespace mintlux::server
