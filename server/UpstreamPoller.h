#pragma once

#include "ProviderHealth.h"
#include "market/MarketRecorder.h"
#include "providers/LiveProviders.h"

#include <array>
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include <QObject>
#include <QStringList>

namespace mintlux::server {

// Polls the upstreams on its own schedule and feeds the recorder. Each kind of data has a
// chain of providers tried in order; a provider that fails backs off exponentially, and the
// next one in the chain stands in. Clients never cause an upstream request.
class UpstreamPoller : public QObject {
public:
    struct Schedule {
        std::chrono::seconds spot{45};
        // The reference rates change once a working day; four looks a day pick them up within
        // hours of publication.
        std::chrono::seconds fx{6 * 3600};
        std::chrono::seconds daily{24 * 3600};
        // A failed provider waits base × 2^(failures − 1), at most the ceiling.
        std::chrono::seconds backoffBase{45};
        std::chrono::seconds backoffCeiling{30 * 60};
        // How soon FX and daily history are retried when every provider failed.
        std::chrono::seconds retryAfterFailure{15 * 60};
        // An upstream that has not answered by then counts as failed, and the chain moves on.
        std::chrono::seconds answerTimeout{30};
    };

    UpstreamPoller(MarketRecorder& recorder, LiveProviders providers, std::shared_ptr<Clock> clock,
                   Schedule schedule, QObject* parent = nullptr);

    // Starts every chain at once; each then keeps its own schedule.
    void start();

    std::vector<ProviderHealth> health() const;

    // How a metal's latest daily round went, for /healthz.
    struct DailyRound {
        QString upstream;  // the one that answered; empty when none did
        std::optional<Instant> finished;
        // No upstream answered: the history is what the store already held.
        bool fallback = false;
    };
    std::array<DailyRound, 4> dailyRounds() const;
    // The daily-close upstreams in the order they are tried.
    QStringList dailyUpstreams() const;
    // True once a whole spot round failed, until a provider answers again.
    bool spotFailing() const { return m_spotFailing.load(); }
    // The earliest start of a scheduled round; a past instant while one is under way, since
    // what it brings may land any moment. Callable from any thread.
    Instant nextChange() const;

private:
    template <class P>
    struct Chain {
        std::vector<std::unique_ptr<P>> providers;
        std::vector<ProviderHealth> health;
        std::unique_ptr<Clock::Sleep> next;
        // When `next` fires, in nanoseconds since the epoch; 0 while a round runs.
        std::atomic<std::int64_t> nextAt = 0;
    };

    void pollSpot();
    void trySpot(std::size_t index, std::set<std::size_t> wanted, bool anyAnswer);
    void finishSpot(bool anyAnswer);
    void pollFx();
    void tryFx(std::size_t index);
    void pollDaily();
    void tryDaily(std::size_t metal, std::size_t index, bool anyAnswer);

    // Runs exactly one of the handlers: the answer's, or the error's when the future fails or
    // does not finish within the answer time-out. A late answer is dropped.
    // `start` makes the request; a provider that throws instead of failing its future counts
    // as failed all the same.
    template <class Start, class OnValue, class OnError>
    void guarded(Start start, OnValue onValue, OnError onError);
    template <class P>
    std::size_t nextAvailable(const Chain<P>& chain, std::size_t from) const;
    void succeeded(ProviderHealth& health);
    void failed(ProviderHealth& health, std::exception_ptr error);
    // `cause` is the error in a few words; empty when `error` is short already.
    void failed(ProviderHealth& health, const QString& error, const QString& cause = {});
    template <class P, class F>
    void scheduleNext(Chain<P>& chain, std::chrono::seconds after, F poll);
    template <class P>
    static void roundStarts(Chain<P>& chain) {
        chain.nextAt.store(0);
    }

    MarketRecorder& m_recorder;
    std::shared_ptr<Clock> m_clock;
    Schedule m_schedule;
    Chain<SpotProvider> m_spot;
    Chain<FxProvider> m_fx;
    Chain<DailyHistoryProvider> m_daily;
    std::array<DailyRound, 4> m_dailyRounds;
    std::atomic<bool> m_spotFailing = false;
    // Health and daily rounds are written on the poller's thread and read by /healthz on the
    // serving threads.
    mutable std::mutex m_healthLock;
};

QString describe(std::exception_ptr error);
// The cause in a few words ("host not found", "HTTP 429"), without the upstream's name.
QString briefCause(std::exception_ptr error);

}  // namespace mintlux::server
