#include "ChartAxes.h"

#include "IcuBridge.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <QByteArray>
#include <QDateTime>

#include <unicode/calendar.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

namespace mintlux::ChartAxes {

namespace {

double niceStepAtLeast(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (factor * magnitude >= raw * (1 - 1e-9)) {
            return factor * magnitude;
        }
    }
    return 10 * magnitude;
}

std::vector<double> ticksAt(Domain domain, double step) {
    std::vector<double> values;
    // Whole multiples of the step, so 0.1 steps land on 0.3 and not on 0.30000000000000004.
    const auto first = static_cast<long long>(std::ceil(domain.lo / step - 1e-9));
    const auto last = static_cast<long long>(std::floor(domain.hi / step + 1e-9));
    for (long long i = first; i <= last; ++i) {
        values.push_back(static_cast<double>(i) * step);
    }
    return values;
}

enum class Calendar { hour, day, week, month, year };

struct DateStep {
    Calendar unit;
    int count;
};

constexpr DateStep kDateSteps[] = {
    {Calendar::hour, 1},  {Calendar::hour, 2},  {Calendar::hour, 3},  {Calendar::hour, 6},
    {Calendar::hour, 12}, {Calendar::day, 1},   {Calendar::day, 2},   {Calendar::week, 1},
    {Calendar::week, 2},  {Calendar::month, 1}, {Calendar::month, 2}, {Calendar::month, 3},
    {Calendar::month, 6}, {Calendar::year, 1},  {Calendar::year, 2},  {Calendar::year, 5},
    {Calendar::year, 10}, {Calendar::year, 25}, {Calendar::year, 50}, {Calendar::year, 100},
};

// Monday 1 to Sunday 7, as QDate counts.
int firstDayOfWeek(const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(locale, status));
    if (U_FAILURE(status)) {
        return 1;
    }
    // ICU counts Sunday 1 to Saturday 7.
    return (static_cast<int>(calendar->getFirstDayOfWeek(status)) + 5) % 7 + 1;
}

// The first boundary of the step at or before `at`, in local time.
QDateTime alignedStart(const QDateTime& at, DateStep step, int weekStart) {
    const QDate date = at.date();
    switch (step.unit) {
        case Calendar::hour:
            return QDateTime(date, QTime(at.time().hour() - at.time().hour() % step.count, 0));
        case Calendar::day:
            return QDateTime(date, QTime(0, 0));
        case Calendar::week: {
            const int back = (date.dayOfWeek() - weekStart + 7) % 7;
            return QDateTime(date.addDays(-back), QTime(0, 0));
        }
        case Calendar::month:
            return QDateTime(QDate(date.year(), date.month() - (date.month() - 1) % step.count, 1),
                             QTime(0, 0));
        case Calendar::year:
            return QDateTime(QDate(date.year() - date.year() % step.count, 1, 1), QTime(0, 0));
    }
    return at;
}

QDateTime advance(const QDateTime& at, DateStep step) {
    switch (step.unit) {
        case Calendar::hour:
            return at.addSecs(3600LL * step.count);
        case Calendar::day:
            return at.addDays(step.count);
        case Calendar::week:
            return at.addDays(7LL * step.count);
        case Calendar::month:
            return at.addMonths(step.count);
        case Calendar::year:
            return at.addYears(step.count);
    }
    return at;
}

std::vector<QDateTime> boundaries(const QDateTime& from, const QDateTime& to, DateStep step,
                                  int weekStart, std::size_t limit) {
    std::vector<QDateTime> found;
    for (QDateTime t = alignedStart(from, step, weekStart); t <= to; t = advance(t, step)) {
        if (t >= from) {
            if (found.size() == limit) {
                break;
            }
            found.push_back(t);
        }
    }
    return found;
}

const char16_t* skeletonFor(DateStep step, bool spansYears) {
    switch (step.unit) {
        case Calendar::hour:
            return u"jm";
        case Calendar::day:
        case Calendar::week:
            return spansYears ? u"yMMMd" : u"MMMd";
        case Calendar::month:
            return spansYears ? u"yMMM" : u"MMM";
        case Calendar::year:
            return u"y";
    }
    return u"yMMMd";
}

}  // namespace

Domain yDomain(const std::vector<MetalPricePoint>& points) {
    if (points.empty()) {
        return {};
    }
    double lo = points.front().value().toDouble();
    double hi = lo;
    for (const MetalPricePoint& point : points) {
        const double v = point.value().toDouble();
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    double pad = (hi - lo) * 0.05;
    if (pad <= 0.5) {
        pad = 0.5;
    }
    return {lo - pad, hi + pad};
}

QString formatYAxis(double value, Currency currency, const QString& locale) {
    if (std::isnan(value)) {
        return {};
    }
    const QByteArray code = currency.rawValue().toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    const icu::CurrencyUnit unit(icu::StringPiece(code.constData(), 3), status);
    if (U_SUCCESS(status)) {
        const int digits = value >= 100 ? 0 : 2;
        const icu::number::LocalizedNumberFormatter formatter =
            icu::number::NumberFormatter::withLocale(IcuBridge::locale(locale))
                .unit(unit)
                .precision(icu::number::Precision::fixedFraction(digits));
        const icu::UnicodeString text = formatter.formatDouble(value, status).toString(status);
        if (U_SUCCESS(status) && !text.isEmpty()) {
            return IcuBridge::fromIcu(text);
        }
    }
    return QString::number(value, 'f', -1);
}

std::vector<Tick> valueTicks(Domain domain, int desired, Currency currency, const QString& locale) {
    const double span = domain.hi - domain.lo;
    if (!(span > 0) || !std::isfinite(span) || desired < 1) {
        return {};
    }
    double step = niceStepAtLeast(span / desired);
    for (;;) {
        std::vector<Tick> ticks;
        bool distinct = true;
        for (const double value : ticksAt(domain, step)) {
            QString label = formatYAxis(value, currency, locale);
            if (!ticks.empty() && ticks.back().label == label) {
                distinct = false;
                break;
            }
            ticks.push_back({value, std::move(label)});
        }
        if (distinct) {
            return ticks;
        }
        step = niceStepAtLeast(step * 1.01);
    }
}

std::vector<Tick> dateTicks(Instant from, Instant to, int desired, const QString& locale) {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    if (to <= from || desired < 1) {
        return {};
    }
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(
        duration_cast<milliseconds>(from.time_since_epoch()).count());
    const QDateTime end =
        QDateTime::fromMSecsSinceEpoch(duration_cast<milliseconds>(to.time_since_epoch()).count());
    const auto limit = static_cast<std::size_t>(desired);
    const icu::Locale where = IcuBridge::locale(locale);
    const int weekStart = firstDayOfWeek(where);

    std::vector<QDateTime> chosen;
    DateStep step = kDateSteps[std::size(kDateSteps) - 1];
    for (const DateStep candidate : kDateSteps) {
        // One more than the limit tells "too many" apart from "exactly enough".
        std::vector<QDateTime> found = boundaries(start, end, candidate, weekStart, limit + 1);
        if (found.size() <= limit) {
            chosen = std::move(found);
            step = candidate;
            break;
        }
    }

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(where, status));
    if (U_FAILURE(status)) {
        return {};
    }
    const bool spansYears = start.date().year() != end.date().year();
    const icu::UnicodeString pattern =
        generator->getBestPattern(icu::UnicodeString(skeletonFor(step, spansYears)), status);
    icu::SimpleDateFormat format(pattern, where, status);
    if (U_FAILURE(status)) {
        return {};
    }
    std::vector<Tick> ticks;
    for (const QDateTime& t : chosen) {
        icu::UnicodeString text;
        format.format(static_cast<UDate>(t.toMSecsSinceEpoch()), text);
        ticks.push_back({static_cast<double>(t.toMSecsSinceEpoch()), IcuBridge::fromIcu(text)});
    }
    return ticks;
}

}  // namespace mintlux::ChartAxes
