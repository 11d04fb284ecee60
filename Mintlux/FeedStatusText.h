#pragma once

#include "market/Instant.h"
#include "pricing/FeedHealth.h"

#include <exception>
#include <optional>

#include <QString>

namespace mintlux {

// What the popup's market indicator and the status item's tooltip say about how current the
// prices are. Prices that stopped arriving, or that the service marks as stale, are never
// called live.
namespace FeedStatusText {

enum class Pill { live, delayed, closed, noData };

// Refresh intervals without a good answer after which the prices no longer count as live: one
// failed or slow refresh is not worth an alarm, several are.
constexpr double kLiveIntervals = 3;

// `lastUpdate` is the held snapshot's time; none means nothing arrived yet.
Pill pill(std::optional<Instant> lastUpdate, const FeedHealth& health, double refreshInterval,
          Instant now);
QString pillLabel(Pill pill);
QString pillToolTip(Pill pill, std::optional<Instant> lastUpdate, const FeedHealth& health);

// The status item's tooltip under its title: when the prices were last updated, and what went
// wrong when the last refresh failed. The one place this text is made.
QString statusToolTip(std::optional<Instant> lastUpdate, const FeedHealth& health);

// A failure in words a user can act on, naming the service's address when there is one.
QString describeFailure(const std::exception_ptr& failure, const QString& endpoint);

}  // namespace FeedStatusText

}  // namespace mintlux
