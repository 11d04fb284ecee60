#include "pricing/MetalPricingService.h"

#include "pricing/Futures.h"
#include "pricing/PollTask.h"

#include <cmath>
#include <limits>
#include <string>

namespace mintlux {

namespace {

constexpr double kMinInterval = 1.0;
// 2^64 exactly; the largest nanosecond count is one below it.
constexpr double kNanosecondCeiling = 18446744073709551616.0;
constexpr double kMaxInterval = kNanosecondCeiling / 1e9;

std::vector<MetalPricePoint> pointsOf(const HistoryResponse& response, MetalUnit unit) {
    std::vector<MetalPricePoint> points;
    points.reserve(response.points.size());
    for (const HistoryResponse::HistoryPoint& point : response.points) {
        points.emplace_back(point.t, point.v, unit);
    }
    return points;
}

}  // namespace

MetalPricingService::MetalPricingService(std::shared_ptr<PricingProxyClient> proxy,
                                         double refreshInterval, std::shared_ptr<Clock> clock,
                                         std::ostream& log)
    : m_proxy(std::move(proxy)),
      m_clock(clock ? std::move(clock) : Clock::system()),
      m_log(log),
      m_refreshInterval(normalizedInterval(refreshInterval)) {}

MetalPricingService::~MetalPricingService() {
    for (auto& [currency, streams] : m_streams) {
        for (SnapshotStream* stream : streams) {
            stream->detach();
        }
    }
    // Before the members go: a task's pending callbacks refer to them.
    for (PollTask* task : findChildren<PollTask*>(Qt::FindDirectChildrenOnly)) {
        delete task;
    }
}

double MetalPricingService::normalizedInterval(double seconds) {
    if (std::isnan(seconds) || seconds < kMinInterval) {
        return kMinInterval;
    }
    return std::min(seconds, kMaxInterval);
}

SleepDuration MetalPricingService::sleepDuration(double seconds) {
    const double nanoseconds = normalizedInterval(seconds) * 1e9;
    if (nanoseconds >= kNanosecondCeiling) {
        return SleepDuration(std::numeric_limits<std::uint64_t>::max());
    }
    return SleepDuration(static_cast<std::uint64_t>(nanoseconds));
}

void MetalPricingService::start(Currency currency) {
    m_currentCurrency = currency;
    if (!m_pollTask) {
        startPollTask();
    }
}

void MetalPricingService::stop() {
    if (m_pollTask) {
        m_pollTask->cancel();
        m_pollTask = nullptr;
    }
}

void MetalPricingService::setRefreshInterval(double seconds) {
    const double interval = normalizedInterval(seconds);
    if (interval == m_refreshInterval) {
        return;
    }
    m_refreshInterval = interval;
    if (m_pollTask) {
        stop();
        startPollTask();
    }
}

void MetalPricingService::setCurrency(Currency currency) {
    if (currency == m_currentCurrency) {
        return;
    }
    m_currentCurrency = currency;
    if (m_pollTask) {
        stop();
        startPollTask();
    }
}

void MetalPricingService::startPollTask() {
    m_pollTask = new PollTask(*this, m_currentCurrency, m_clock);
    m_pollTask->begin();
}

QFuture<void> MetalPricingService::refresh(Currency currency) {
    auto promise = Futures::startedPromise<void>();
    Futures::whenFinished(
        m_proxy->fetchLatest(currency), this,
        [this, promise, currency](const LatestPricesResponse& response) {
            FeedHealth& health = m_health[currency];
            health.lastSuccess = m_clock->now();
            health.stale = response.stale;
            health.failingSince.reset();
            health.lastFailure = nullptr;
            apply(currency, response);
            promise->finish();
            emit healthChanged(currency);
        },
        [this, promise, currency](std::exception_ptr error) {
            FeedHealth& health = m_health[currency];
            health.lastFailureAt = m_clock->now();
            if (!health.lastFailure) {
                health.failingSince = health.lastFailureAt;
            }
            health.lastFailure = error;
            Futures::fail(*promise, error);
            emit healthChanged(currency);
        });
    return promise->future();
}

FeedHealth MetalPricingService::health(Currency currency) const {
    const auto it = m_health.find(currency);
    FeedHealth health = it == m_health.end() ? FeedHealth() : it->second;
    health.endpoint = m_proxy->address();
    return health;
}

void MetalPricingService::observeHealth(QObject* context, std::function<void(Currency)> onChange) {
    connect(this, &MetalPricingService::healthChanged, context, std::move(onChange));
}

MetalPricingService::PollHandle::PollHandle(PollTask* task) : m_task(task) {}

MetalPricingService::PollHandle::~PollHandle() {
    if (m_task) {
        static_cast<PollTask*>(m_task.data())->cancel();
    }
}

std::unique_ptr<MetalPricingService::PollHandle> MetalPricingService::keepFresh(Currency currency) {
    auto* task = new PollTask(*this, currency, m_clock, PollTask::Role::companion);
    task->begin();
    return std::make_unique<PollHandle>(task);
}

void MetalPricingService::apply(Currency requested, const LatestPricesResponse& response) {
    const Currency tickCurrency =
        Currency::fromRawValue(QStringView(response.currency)).value_or(requested);
    Snapshot snapshot;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        const auto it = response.prices.find(metal.rawValue());
        if (it == response.prices.end()) {
            continue;
        }
        const LatestPricesResponse::PriceEntry& entry = it->second;
        const MetalUnit unit =
            MetalUnit::fromRawValue(QStringView(entry.unit)).value_or(MetalUnit::troyOunce);
        snapshot.insert_or_assign(metal, MetalPriceTick(metal, entry.value, unit, tickCurrency,
                                                        response.asOf, entry.prevClose));
    }
    const Snapshot& stored =
        m_snapshots.insert_or_assign(requested, std::move(snapshot)).first->second;
    const auto streams = m_streams.find(requested);
    if (streams == m_streams.end()) {
        return;
    }
    for (SnapshotStream* stream : streams->second) {
        stream->yield(stored);
    }
}

QFuture<MetalPricingService::Snapshot> MetalPricingService::latest(Currency currency) {
    const auto it = m_snapshots.find(currency);
    return Futures::ready(it == m_snapshots.end() ? Snapshot() : it->second);
}

std::unique_ptr<MetalPricingService::SnapshotStream> MetalPricingService::live(Currency currency) {
    auto stream = std::make_unique<SnapshotStream>();
    const QUuid id = QUuid::createUuid();
    m_streams[currency].insert(id, stream.get());
    stream->setTerminationHandler([service = QPointer<MetalPricingService>(this), currency, id] {
        if (service) {
            service->unregister(currency, id);
        }
    });
    if (const auto cached = m_snapshots.find(currency); cached != m_snapshots.end()) {
        stream->yield(cached->second);
    }
    return stream;
}

void MetalPricingService::unregister(Currency currency, const QUuid& id) {
    if (const auto it = m_streams.find(currency); it != m_streams.end()) {
        it->second.remove(id);
    }
}

QFuture<std::vector<MetalPricePoint>> MetalPricingService::history(MetalSeries series,
                                                                   TimeRange range,
                                                                   Currency currency,
                                                                   MetalUnit unit) {
    auto promise = Futures::startedPromise<std::vector<MetalPricePoint>>();
    Futures::whenFinished(
        m_proxy->fetchHistory(series, range, currency, unit), this,
        [promise, unit](const HistoryResponse& response) {
            Futures::fulfil(*promise, pointsOf(response, unit));
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

QFuture<MetalPricingService::SourcedHistory> MetalPricingService::sourcedHistory(MetalSeries series,
                                                                                 TimeRange range,
                                                                                 Currency currency,
                                                                                 MetalUnit unit) {
    auto promise = Futures::startedPromise<SourcedHistory>();
    Futures::whenFinished(
        m_proxy->fetchSourcedHistory(series, range, currency, unit), this,
        [promise, unit](const PricingProxyClient::SourcedHistory& answer) {
            Futures::fulfil(*promise,
                            SourcedHistory{pointsOf(answer.response, unit), answer.origin});
        },
        [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
    return promise->future();
}

void MetalPricingService::logFailure(const std::exception_ptr& error) {
    std::string description = "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        description = e.what();
    } catch (...) {
    }
    // One write, so the line cannot interleave with other output.
    const std::string line = "Mintlux: pricing refresh failed: " + description + "\n";
    m_log.write(line.data(), static_cast<std::streamsize>(line.size()));
    m_log.flush();
}

}  // namespace mintlux
