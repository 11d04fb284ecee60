#pragma once

#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "pricing/Clock.h"
#include "pricing/PricingProxyClient.h"
#include "pricing/PricingService.h"

#include <exception>
#include <iostream>
#include <memory>
#include <unordered_map>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

namespace mintlux {

class PollTask;

// The one place prices enter the running system: polls a back-end in one currency, keeps the
// latest snapshot per currency and hands each new snapshot to that currency's live streams.
//
// Lives on the GUI thread. Its waits (the back-end, the poll interval) never block: other
// calls interleave with a cycle in flight, and a cycle started by a since-cancelled loop may
// still land and deliver its snapshot.
class MetalPricingService final : public QObject, public PricingService<MetalSeries, MetalUnit> {
    Q_OBJECT

public:
    // Nothing is started. The interval gets the same floor and ceiling as
    // setRefreshInterval(). A failed poll cycle is logged to `log`, stderr by default.
    MetalPricingService(std::shared_ptr<PricingProxyClient> proxy, double refreshInterval,
                        std::shared_ptr<Clock> clock = nullptr, std::ostream& log = std::cerr);
    // Cancels the poll loop; streams still held by subscribers simply receive nothing more.
    ~MetalPricingService() override;

    double refreshInterval() const override { return m_refreshInterval; }
    Currency currentCurrency() const { return m_currentCurrency; }
    bool isPolling() const { return !m_pollTask.isNull(); }

    // Records the currency; starts a loop for it unless one is running already (which then
    // keeps its own currency).
    void start(Currency currency);
    void stop();
    // At least one second (not-a-number counts as one), at most what a 64-bit nanosecond count
    // holds. A changed value restarts a running loop at once.
    void setRefreshInterval(double seconds);
    // A changed currency restarts a running loop at once, in the new currency.
    void setCurrency(Currency currency);

    // One poll cycle: fetch, store the snapshot, deliver it. Back-end errors pass unchanged.
    QFuture<void> refresh(Currency currency);

    QFuture<Snapshot> latest(Currency currency) override;
    std::unique_ptr<SnapshotStream> live(Currency currency) override;
    // The back-end's points in the order received, labelled with the requested unit.
    QFuture<std::vector<MetalPricePoint>> history(MetalSeries series, TimeRange range,
                                                  Currency currency, MetalUnit unit) override;
    QFuture<SourcedHistory> sourcedHistory(MetalSeries series, TimeRange range, Currency currency,
                                           MetalUnit unit) override;

    // Every refresh of a currency, by the poll loop or anyone else, is recorded here.
    FeedHealth health(Currency currency) const override;
    void observeHealth(QObject* context, std::function<void(Currency)> onChange) override;

    // Keeps `currency` refreshed on the service's interval beside the display currency until the
    // handle goes; nothing extra is fetched while the poll loop itself is on that currency.
    class PollHandle {
    public:
        explicit PollHandle(PollTask* task);
        ~PollHandle();
        PollHandle(const PollHandle&) = delete;
        PollHandle& operator=(const PollHandle&) = delete;

    private:
        QPointer<QObject> m_task;
    };
    std::unique_ptr<PollHandle> keepFresh(Currency currency);

    static double normalizedInterval(double seconds);
    // The interval as the poll loop sleeps it: truncated, and capped at the largest count.
    static SleepDuration sleepDuration(double seconds);

signals:
    void healthChanged(mintlux::Currency currency);

private:
    friend class PollTask;

    void startPollTask();
    void apply(Currency requested, const LatestPricesResponse& response);
    void unregister(Currency currency, const QUuid& id);
    void logFailure(const std::exception_ptr& error);

    std::shared_ptr<PricingProxyClient> m_proxy;
    std::shared_ptr<Clock> m_clock;
    std::ostream& m_log;
    double m_refreshInterval;
    Currency m_currentCurrency = Currency::usd;
    std::unordered_map<Currency, Snapshot> m_snapshots;
    std::unordered_map<Currency, FeedHealth> m_health;
    std::unordered_map<Currency, QHash<QUuid, SnapshotStream*>> m_streams;
    QPointer<PollTask> m_pollTask;
};

}  // namespace mintlux
