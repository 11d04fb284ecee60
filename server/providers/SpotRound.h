#pragma once

#include "providers/MarketProviders.h"

#include <functional>
#include <vector>

#include <QFuture>
#include <QObject>

namespace mintlux::server {

// One spot request per metal, all at once, for upstreams that quote one instrument per request.
// The round answers with every metal that arrived, in MetalSeries order; a metal whose request
// failed is left out. Only when every request failed does the round fail, with the first
// metal's error. Nothing is delivered once `context` is gone.
QFuture<std::vector<SpotQuote>> fetchSpotRound(
    QObject* context, const std::function<QFuture<SpotQuote>(MetalSeries)>& fetchOne);

}  // namespace mintlux::server
