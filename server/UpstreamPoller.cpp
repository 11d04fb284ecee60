#include "UpstreamPoller.h"

#include "PriceDocuments.h"
#include "ServiceLog.h"
#include "pricing/Futures.h"
#include "pricing/TransportError.h"

#include <algorithm>

#include <QDateTime>
#include <QTimeZone>

namespace mintlux::server {

namespace {

using namespace std::chrono_literals;

template <class P>
std::vector<ProviderHealth> healthFor(const std::vector<std::unique_ptr<P>>& providers,
                                      const char* kind) {
    std::vector<ProviderHealth> out;
    for (const auto& p : providers) {
        out.push_back({p->name(), QString::fromLatin1(kind), {}, {}, {}, {}, 0, {}});
    }
    return out;
}

template <class F>
struct FutureValue;
template <class T>
struct FutureValue<QFuture<T>> {
    using type = T;
};

QString minutes(std::chrono::nanoseconds d) {
    return QString::number(std::chrono::duration_cast<std::chrono::minutes>(d).count());
}

QString networkCause(NetworkFault fault) {
    switch (fault) {
        case NetworkFault::hostNotFound:
            return QStringLiteral("host not found");
        case NetworkFault::connectionRefused:
            return QStringLiteral("connection refused");
        case NetworkFault::remoteClosed:
            return QStringLiteral("connection closed");
        case NetworkFault::timedOut:
            return QStringLiteral("timed out");
        case NetworkFault::tlsFailed:
            return QStringLiteral("TLS handshake failed");
        case NetworkFault::networkDown:
            return QStringLiteral("network down");
        case NetworkFault::proxyFailed:
            return QStringLiteral("proxy failed");
        default:
            return QStringLiteral("network error");
    }
}

}  // namespace

QString briefCause(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const TransportError& e) {
        switch (e.kind()) {
            case TransportError::Kind::network:
                return networkCause(e.fault());
            case TransportError::Kind::timedOut:
                return QStringLiteral("timed out");
            case TransportError::Kind::bodyTooLarge:
                return QStringLiteral("answer too large");
            case TransportError::Kind::cancelled:
                return QStringLiteral("cancelled");
        }
    } catch (const ProviderError& e) {
        if (!e.brief().empty()) {
            return QString::fromStdString(e.brief());
        }
        return QStringLiteral("unusable answer");
    } catch (...) {
    }
    return QStringLiteral("failed");
}

QString describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

UpstreamPoller::UpstreamPoller(MarketRecorder& recorder, LiveProviders providers,
                               std::shared_ptr<Clock> clock, Schedule schedule, QObject* parent)
    : QObject(parent), m_recorder(recorder), m_clock(std::move(clock)), m_schedule(schedule) {
    m_spot.health = healthFor(providers.spot, "spot");
    m_spot.providers = std::move(providers.spot);
    m_fx.health = healthFor(providers.fx, "fx");
    m_fx.providers = std::move(providers.fx);
    m_daily.health = healthFor(providers.daily, "daily");
    m_daily.providers = std::move(providers.daily);
}

void UpstreamPoller::start() {
    if (m_spot.providers.empty()) {
        logLine(QStringLiteral("no spot upstream configured; serving stored quotes only"));
    }
    pollSpot();
    pollFx();
    pollDaily();
}

std::array<UpstreamPoller::DailyRound, 4> UpstreamPoller::dailyRounds() const {
    const std::lock_guard lock(m_healthLock);
    return m_dailyRounds;
}

QStringList UpstreamPoller::dailyUpstreams() const {
    QStringList names;
    for (const ProviderHealth& h : m_daily.health) {
        names << h.name;
    }
    return names;
}

std::vector<ProviderHealth> UpstreamPoller::health() const {
    const std::lock_guard lock(m_healthLock);
    std::vector<ProviderHealth> out = m_spot.health;
    out.insert(out.end(), m_fx.health.begin(), m_fx.health.end());
    out.insert(out.end(), m_daily.health.begin(), m_daily.health.end());
    return out;
}

template <class Start, class OnValue, class OnError>
void UpstreamPoller::guarded(Start start, OnValue onValue, OnError onError) {
    using Future = decltype(start());
    using T = typename FutureValue<Future>::type;
    Future future;
    try {
        future = start();
    } catch (...) {
        future = Futures::failed<T>(std::current_exception());
    }
    auto settled = std::make_shared<bool>(false);
    std::shared_ptr<Clock::Sleep> guard =
        m_clock->sleep(m_schedule.answerTimeout, [this, settled, onError]() mutable {
            if (!std::exchange(*settled, true)) {
                const std::string what =
                    "no answer within " + std::to_string(m_schedule.answerTimeout.count()) + " s";
                onError(std::make_exception_ptr(ProviderError(what, what)));
            }
        });
    Futures::whenFinished(
        future, this,
        [settled, guard, onValue = std::move(onValue)](T value) mutable {
            if (!std::exchange(*settled, true)) {
                onValue(std::move(value));
            }
        },
        [settled, guard, onError](std::exception_ptr error) mutable {
            if (!std::exchange(*settled, true)) {
                onError(error);
            }
        });
}

template <class P>
std::size_t UpstreamPoller::nextAvailable(const Chain<P>& chain, std::size_t from) const {
    const Instant now = m_clock->now();
    while (from < chain.providers.size() && now < chain.health[from].retryAfter) {
        ++from;
    }
    return from;
}

void UpstreamPoller::succeeded(ProviderHealth& health) {
    if (health.consecutiveFailures > 0) {
        logLine(health.kind + " upstream " + health.name + " answers again");
    }
    const std::lock_guard lock(m_healthLock);
    health.lastSuccess = m_clock->now();
    health.consecutiveFailures = 0;
    health.retryAfter = {};
}

void UpstreamPoller::failed(ProviderHealth& health, std::exception_ptr error) {
    failed(health, describe(error), briefCause(error));
}

void UpstreamPoller::failed(ProviderHealth& health, const QString& error, const QString& cause) {
    const Instant now = m_clock->now();
    std::unique_lock lock(m_healthLock);
    health.lastFailure = now;
    health.lastError = error;
    health.lastCause = cause.isEmpty() ? error : cause;
    ++health.consecutiveFailures;
    const int doublings = std::min(health.consecutiveFailures - 1, 16);
    const auto delay = std::min(m_schedule.backoffBase * (std::int64_t(1) << doublings),
                                m_schedule.backoffCeiling);
    health.retryAfter = now + delay;
    lock.unlock();
    logLine(health.kind + " upstream " + health.name + " failed: " + error + " (" +
            QString::number(health.consecutiveFailures) + " in a row; next try in " +
            QString::number(delay.count()) + " s)");
}

template <class P, class F>
void UpstreamPoller::scheduleNext(Chain<P>& chain, std::chrono::seconds after, F poll) {
    const Instant at = m_clock->now() + after;
    chain.nextAt.store(
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count());
    chain.next = m_clock->sleep(after, [this, poll] { (this->*poll)(); });
}

Instant UpstreamPoller::nextChange() const {
    const std::int64_t ns =
        std::min({m_spot.nextAt.load(), m_fx.nextAt.load(), m_daily.nextAt.load()});
    return Instant(std::chrono::duration_cast<Instant::duration>(std::chrono::nanoseconds(ns)));
}

void UpstreamPoller::pollSpot() {
    roundStarts(m_spot);
    std::set<std::size_t> wanted;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        wanted.insert(metal.index());
    }
    trySpot(nextAvailable(m_spot, 0), std::move(wanted), false);
}

void UpstreamPoller::trySpot(std::size_t index, std::set<std::size_t> wanted, bool anyAnswer) {
    if (index >= m_spot.providers.size()) {
        finishSpot(anyAnswer);
        return;
    }
    guarded([&] { return m_spot.providers[index]->fetchSpot(); },
            [this, index, wanted, anyAnswer](std::vector<SpotQuote> quotes) mutable {
                const Instant now = m_clock->now();
                std::vector<SpotQuote> usable;
                std::optional<Instant> newest;
                bool fresh = false;
                for (const SpotQuote& q : quotes) {
                    // A quote from the future is a broken clock upstream, not a price to keep.
                    if (!wanted.contains(q.metal.index()) || q.usdPerOunce.signum() <= 0 ||
                        q.asOf > now + 2min) {
                        continue;
                    }
                    usable.push_back(q);
                    newest = newest ? std::max(*newest, q.asOf) : q.asOf;
                    if (now - q.asOf < PriceDocuments::kStaleAfter) {
                        fresh = true;
                        wanted.erase(q.metal.index());
                    }
                }
                // Older than what we hold is ignored there; a stale quote still beats none.
                m_recorder.applySpot(usable);
                ProviderHealth& health = m_spot.health[index];
                if (fresh) {
                    succeeded(health);
                } else if (usable.empty()) {
                    failed(health, QStringLiteral("no usable quotes in the answer"));
                } else {
                    failed(health, "newest quote is " + minutes(now - *newest) + " min old");
                }
                if (wanted.empty()) {
                    finishSpot(true);
                } else {
                    trySpot(nextAvailable(m_spot, index + 1), std::move(wanted),
                            anyAnswer || fresh);
                }
            },
            [this, index, wanted, anyAnswer](std::exception_ptr error) {
                failed(m_spot.health[index], error);
                trySpot(nextAvailable(m_spot, index + 1), wanted, anyAnswer);
            });
}

void UpstreamPoller::finishSpot(bool anyAnswer) {
    if (!anyAnswer && !m_spotFailing) {
        m_spotFailing = true;
        logLine(
            QStringLiteral("no spot upstream gave a fresh quote; serving the last known "
                           "quotes, marked stale"));
    } else if (anyAnswer && m_spotFailing) {
        m_spotFailing = false;
        logLine(QStringLiteral("fresh spot quotes again"));
    }
    scheduleNext(m_spot, m_schedule.spot, &UpstreamPoller::pollSpot);
}

void UpstreamPoller::pollFx() {
    roundStarts(m_fx);
    tryFx(nextAvailable(m_fx, 0));
}

void UpstreamPoller::tryFx(std::size_t index) {
    if (index >= m_fx.providers.size()) {
        if (!m_fx.providers.empty()) {
            const auto date = m_recorder.fxDate();
            logLine("no FX upstream answered; keeping the rates of " +
                    (date ? date->toString(Qt::ISODate) : QStringLiteral("(none yet)")));
        }
        scheduleNext(m_fx, m_schedule.retryAfterFailure, &UpstreamPoller::pollFx);
        return;
    }
    guarded([&] { return m_fx.providers[index]->fetchRates(); },
            [this, index](FxRates rates) {
                const bool usable =
                    rates.date.isValid() &&
                    std::any_of(rates.perUsd.begin(), rates.perUsd.end(),
                                [](const auto& entry) { return entry.second.signum() > 0; });
                if (!usable) {
                    failed(m_fx.health[index], QStringLiteral("no usable rates in the answer"));
                    tryFx(nextAvailable(m_fx, index + 1));
                    return;
                }
                m_recorder.applyFx(rates);
                succeeded(m_fx.health[index]);
                scheduleNext(m_fx, m_schedule.fx, &UpstreamPoller::pollFx);
            },
            [this, index](std::exception_ptr error) {
                failed(m_fx.health[index], error);
                tryFx(nextAvailable(m_fx, index + 1));
            });
}

void UpstreamPoller::pollDaily() {
    roundStarts(m_daily);
    tryDaily(0, nextAvailable(m_daily, 0), false);
}

void UpstreamPoller::tryDaily(std::size_t metal, std::size_t index, bool anyAnswer) {
    if (metal >= MetalSeries::allCases().size()) {
        scheduleNext(m_daily, anyAnswer ? m_schedule.daily : m_schedule.retryAfterFailure,
                     &UpstreamPoller::pollDaily);
        return;
    }
    const MetalSeries series = MetalSeries::allCases()[metal];
    if (index >= m_daily.providers.size()) {
        if (!m_daily.providers.empty()) {
            logLine("no daily closes for " + series.rawValue() +
                    " this round (upstreams failed or backing off); history keeps the stored "
                    "closes");
            const std::lock_guard lock(m_healthLock);
            m_dailyRounds[metal] = {{}, m_clock->now(), true};
        }
        tryDaily(metal + 1, nextAvailable(m_daily, 0), anyAnswer);
        return;
    }
    guarded(
        [&] { return m_daily.providers[index]->fetchDailyCloses(series); },
        [this, metal, index, series, anyAnswer](std::vector<DailyClose> closes) {
            const auto nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_clock->now().time_since_epoch());
            const QDate today =
                QDateTime::fromMSecsSinceEpoch(nowMs.count(), QTimeZone::utc()).date().addDays(1);
            std::erase_if(closes, [&](const DailyClose& c) {
                return !c.date.isValid() || c.date > today || c.usdPerOunce.signum() <= 0;
            });
            if (closes.empty()) {
                failed(m_daily.health[index], QStringLiteral("empty daily series"));
                tryDaily(metal, nextAvailable(m_daily, index + 1), anyAnswer);
                return;
            }
            m_recorder.applyDailyCloses(series, m_daily.health[index].name, closes);
            succeeded(m_daily.health[index]);
            {
                const std::lock_guard lock(m_healthLock);
                m_dailyRounds[metal] = {m_daily.health[index].name, m_clock->now(), false};
            }
            tryDaily(metal + 1, nextAvailable(m_daily, 0), true);
        },
        [this, metal, index, anyAnswer](std::exception_ptr error) {
            failed(m_daily.health[index], error);
            tryDaily(metal, nextAvailable(m_daily, index + 1), anyAnswer);
        });
}

}  // namespace mintlux::server
