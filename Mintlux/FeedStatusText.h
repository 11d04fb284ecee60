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
// wrong when the last refresh failed. Its times are the locale's short ones (a date only when
// not today), made without ICU: this runs on every poll of an otherwise idle app.
QString statusToolTip(std::optional<Instant> lastUpdate, const FeedHealth& health,
                      Instant now = std::chrono::system_clock::now());

// What of the status tooltip is worth telling a panel about: all of it but the time of the last
// update, which moves with every poll and would make each panel read the whole item again.
QString statusToolTipMeaning(bool updated, const FeedHealth& health);

// "5:19 PM" in the user's locale, or "12/4/26 5:19 PM" when `when` is not on `now`'s day.
QString shortTimeString(Instant when, Instant now);

// A failure in words a user can act on, naming the service's address when there is one.
QString describeFailure(const std::exception_ptr& failure, const QString& endpoint);

}  // namespace FeedStatusText

}  // namespace mintlux
