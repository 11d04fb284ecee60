#pragma once

#include "PriceFormatter.h"
#include "alerts/AlertEngine.h"
#include "alerts/AlertRule.h"
#include "market/Instant.h"

#include <QString>

// A price alert in words, for the settings list, the popup's bell and the notifications. No
// widgets: the notifier builds its summaries from the same sentences.
namespace mintlux::AlertText {

// "above $2,400.00 per troy ounce", "up by 2.00% today"; without the unit, "above $2,400.00".
QString condition(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale(),
                  bool withUnit = true);
// "Gold above $2,400.00 per troy ounce".
QString describe(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale());
// The settings list's line: the sentence and " · once" or " · repeating".
QString line(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale());

// A notification's summary: "Gold above $2,400.00", "Silver down by 3.00% today".
QString summary(const AlertRule& rule, const QString& locale = PriceFormatter::userLocale());
// Its body, with the quote's own time: "$2,401.20 per troy ounce at 14:32"; after a market
// closure "… at the open, 18:00".
QString body(const AlertFiring& firing, Instant now,
             const QString& locale = PriceFormatter::userLocale(), const QString& timeZone = {});
// The time alone on the day of `now`, else with its date.
QString moment(Instant when, Instant now, const QString& locale = PriceFormatter::userLocale(),
               const QString& timeZone = {});

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
