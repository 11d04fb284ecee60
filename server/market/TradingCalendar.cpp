#include "market/TradingCalendar.h"

#include <QDateTime>
#include <QTimeZone>

namespace mintlux::server::TradingCalendar {

namespace {

const QTimeZone& newYork() {
    static const QTimeZone zone("America/New_York");
    return zone;
}

const QTime kClose(17, 0);

}  // namespace

Instant closeOf(QDate tradingDay) {
    const QDateTime close(tradingDay, kClose, newYork());
    return Instant(std::chrono::milliseconds(close.toMSecsSinceEpoch()));
}

QDate tradingDayOf(Instant t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms.count(), newYork());
    QDate day = local.date();
    if (local.time() >= kClose) {
        day = day.addDays(1);
    }
    while (day.dayOfWeek() > 5) {
        day = day.addDays(1);
    }
    return day;
}

}  // namespace mintlux::server::TradingCalendar
