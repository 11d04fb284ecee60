#pragma once

#include "PriceFormatter.h"
#include "alerts/AlertRule.h"
#include "market/Instant.h"

#include <QString>

// A price alert in words, for the settings list, the popup's bell and the notifications. No
// widgets: the notifier builds its summaries from the same sentences.
namespace mintlux::AlertText {

// "above $2,400.00 per troy ounce", "up by 2.00% today".
QString condition(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale());
// "Gold above $2,400.00 per troy ounce".
QString describe(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale());
// The settings list's line: the sentence and " · once" or " · repeating".
QString line(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale());

// Where the rule stands, shown under its line: "off", "snoozed until 15:00", "fired 14:32",
// "armed", or, for a rule that has not yet seen the price on its safe side, "waiting for the
// price to be on the other side". Times on the day of `now` show as time only. `timeZone`
// empty: the user's.
QString state(const AlertRule& rule, Instant now,
              const QString& locale = PriceFormatter::userLocale(), const QString& timeZone = {});

// Enabled and able to fire again: a once-only rule that has fired is done until it is edited or
// switched on anew.
bool canFire(const AlertRule& rule);

}  // namespace mintlux::AlertText
