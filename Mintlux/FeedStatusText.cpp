#include "FeedStatusText.h"

#include "MarketHours.h"
#include "MenuBarView.h"
#include "json/DecodingError.h"
#include "pricing/ServiceError.h"
#include "pricing/TransportError.h"

#include <chrono>

#include <QDateTime>
#include <QLocale>

namespace mintlux::FeedStatusText {

namespace {

using TimeText = QString (*)(Instant when, Instant now);

QString absoluteTime(Instant when, Instant) {
    return MenuBarView::absoluteTimeString(when);
}

QString lastUpdatedLine(std::optional<Instant> lastUpdate, TimeText time, Instant now) {
    return lastUpdate ? QStringLiteral("Last updated ") + time(*lastUpdate, now) : QString();
}

QString problemLines(const FeedHealth& health, TimeText time, Instant now) {
    QStringList lines;
    if (health.lastRefreshFailed()) {
        QString line = QStringLiteral("Refreshing has failed");
        if (health.failingSince) {
            line += QStringLiteral(" since ") + time(*health.failingSince, now);
        }
        lines << line + QStringLiteral(": ") + describeFailure(health.lastFailure, health.endpoint);
    } else if (health.stale) {
        lines << QStringLiteral("The pricing service marks these prices as stale.");
    }
    return lines.join(QLatin1Char('\n'));
}

QString joinLines(const QString& first, const QString& second) {
    if (first.isEmpty() || second.isEmpty()) {
        return first + second;
    }
    return first + QLatin1Char('\n') + second;
}

}  // namespace

Pill pill(std::optional<Instant> lastUpdate, const FeedHealth& health, double refreshInterval,
          Instant now) {
    switch (MarketHours::status(lastUpdate, now)) {
        case MarketStatus::noData:
            return Pill::noData;
        case MarketStatus::closed:
            return Pill::closed;
        case MarketStatus::open:
            break;
    }
    if (health.stale || !health.lastSuccess) {
        return Pill::delayed;
    }
    const std::chrono::duration<double> age = now - *health.lastSuccess;
    return age.count() <= kLiveIntervals * refreshInterval ? Pill::live : Pill::delayed;
}

QString pillLabel(Pill pill) {
    switch (pill) {
        case Pill::live:
            return QStringLiteral("Live");
        case Pill::delayed:
            return QStringLiteral("Delayed");
        case Pill::closed:
            return QStringLiteral("Markets closed");
        case Pill::noData:
            break;
    }
    return QString(QChar(0x2014));
}

QString pillToolTip(Pill pill, std::optional<Instant> lastUpdate, const FeedHealth& health) {
    const Instant now{};  // unused by the popup's absolute times
    if (pill == Pill::delayed && lastUpdate) {
        return joinLines(
            QStringLiteral("Prices delayed since ") + MenuBarView::absoluteTimeString(*lastUpdate),
            problemLines(health, absoluteTime, now));
    }
    return joinLines(lastUpdatedLine(lastUpdate, absoluteTime, now),
                     problemLines(health, absoluteTime, now));
}

QString statusToolTip(std::optional<Instant> lastUpdate, const FeedHealth& health, Instant now) {
    return joinLines(lastUpdatedLine(lastUpdate, shortTimeString, now),
                     problemLines(health, shortTimeString, now));
}

QString statusToolTipMeaning(bool updated, const FeedHealth& health) {
    // Not the time, only whether there is one; failures keep the time they began.
    return joinLines(updated ? QStringLiteral("Last updated") : QString(),
                     problemLines(health, shortTimeString, Instant{}));
}

QString shortTimeString(Instant when, Instant now) {
    const auto millis = [](Instant t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    };
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(millis(when));
    const QLocale locale;
    if (local.date() == QDateTime::fromMSecsSinceEpoch(millis(now)).date()) {
        return locale.toString(local.time(), QLocale::ShortFormat);
    }
    return locale.toString(local, QLocale::ShortFormat);
}

QString describeFailure(const std::exception_ptr& failure, const QString& endpoint) {
    const QString service = endpoint.isEmpty()
                                ? QStringLiteral("the pricing service")
                                : QStringLiteral("the pricing service at ") + endpoint;
    const QString Service = service.at(0).toUpper() + service.mid(1);
    try {
        std::rethrow_exception(failure);
    } catch (const TransportError& e) {
        switch (e.kind()) {
            case TransportError::Kind::network:
                if (e.fault() == NetworkFault::tlsFailed) {
                    return QStringLiteral("Can't make a secure connection to ") + service +
                           QStringLiteral(" (") + QString::fromUtf8(e.what()) +
                           QStringLiteral(").");
                }
                return QStringLiteral("Can't reach ") + service +
                       QStringLiteral(" \u2014 is mintlux-pricing running?");
            case TransportError::Kind::timedOut:
                return Service + QStringLiteral(" did not answer in time \u2014 is it overloaded?");
            case TransportError::Kind::bodyTooLarge:
                return Service + QStringLiteral(
                                     " sent far more data than a price list \u2014 is the "
                                     "address right?");
            case TransportError::Kind::cancelled:
                return QStringLiteral("The request to ") + service +
                       QStringLiteral(" was cancelled.");
        }
    } catch (const ServiceError& e) {
        return Service + QStringLiteral(" reports an error (HTTP ") + QString::number(e.status()) +
               QStringLiteral("): ") + e.message();
    } catch (const DecodingError& e) {
        return Service + QStringLiteral(" sent an answer Mintlux can't read (") +
               QString::fromUtf8(e.what()) +
               QStringLiteral(") \u2014 is the address right and the service up to date?");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return QStringLiteral("Unknown error");
}

}  // namespace mintlux::FeedStatusText
