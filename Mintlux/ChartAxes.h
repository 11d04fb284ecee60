#pragma once

#include "PriceFormatter.h"
#include "market/Currency.h"
#include "market/Instant.h"
#include "market/PricePoint.h"

#include <vector>

#include <QString>

// Scales and tick labels of the price chart. Values are chart coordinates (doubles); money
// stays decimal everywhere else.
namespace mintlux::ChartAxes {

struct Domain {
    double lo = 0;
    double hi = 1;
    friend bool operator==(const Domain&, const Domain&) = default;
};

struct Tick {
    double value = 0;
    QString label;
};

// The y range for the points: their extent with a 5 % margin above and below, never less than
// half a currency unit, so a flat series still gets a visible band. Empty history: 0 to 1.
Domain yDomain(const std::vector<MetalPricePoint>& points);

// A y tick's label: the currency's money format in the locale, whole units from 100 up and two
// fraction digits below. Not a number: no label.
QString formatYAxis(double value, Currency currency,
                    const QString& locale = PriceFormatter::userLocale());

// About `desired` ticks at round values (1, 2, 2.5 or 5 times a power of ten) inside the domain.
// The step grows until neighbouring labels differ, so a narrow band above 100 (labelled in whole
// units) gets one "$2,000" rather than five.
std::vector<Tick> valueTicks(Domain domain, int desired, Currency currency,
                             const QString& locale = PriceFormatter::userLocale());

// About `desired` ticks on calendar boundaries (whole hours, days, weeks' Mondays, months,
// years) between the two instants, in the local time zone, labelled at the step's precision.
std::vector<Tick> dateTicks(Instant from, Instant to, int desired,
                            const QString& locale = PriceFormatter::userLocale());

}  // namespace mintlux::ChartAxes
