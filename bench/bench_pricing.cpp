// Pricing engine benchmarks: one poll cycle end to end over loopback HTTP, the synthetic
// history walk, and memory across many cycles with subscribers coming and going.

#include "EventLoop.h"
#include "FakeClock.h"
#include "LoopbackHttpServer.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/MetalPricingService.h"
#include "pricing/MockPricingProxyClient.h"
#include "pricing/SystemRandomSource.h"
#include "pricing/WireDecoder.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

namespace mintlux {
namespace {

using Server = test::LoopbackHttpServer;
using Stream = MetalPricingService::SnapshotStream;

const QByteArray kDocument = R"({"currency":"USD","prices":{)"
                             R"("XAU":{"value":2890.4521,"unit":"troyOunce","prev_close":2871.3},)"
                             R"("XAG":{"value":32.5184,"unit":"troyOunce","prev_close":32.11},)"
                             R"("XPT":{"value":1085.77,"unit":"troyOunce","prev_close":1079.2},)"
                             R"("XPD":{"value":1240.05,"unit":"troyOunce","prev_close":1251.4}},)"
                             R"("stale":false,"as_of":"2025-01-31T14:05:09.250Z"})";

// The same document without a socket: what is left of a cycle is our own code (decode,
// snapshot, delivery, event-loop hops).
class CannedClient final : public PricingProxyClient {
public:
    QFuture<LatestPricesResponse> fetchLatest(Currency) override {
        QPromise<LatestPricesResponse> promise;
        promise.start();
        promise.addResult(m_decoder.decode<LatestPricesResponse>(kDocument));
        promise.finish();
        return promise.future();
    }
    QFuture<HistoryResponse> fetchHistory(MetalSeries, TimeRange, Currency, MetalUnit) override {
        return {};
    }

private:
    WireDecoder m_decoder;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Microseconds per cycle: refresh, then wait until all three subscribers hold the snapshot.
std::vector<double> timeCycles(MetalPricingService& service, int cycles) {
    std::vector<std::unique_ptr<Stream>> subscribers;
    for (int i = 0; i < 3; ++i) {
        subscribers.push_back(service.live(Currency::usd));
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(cycles));
    for (int i = 0; i < cycles; ++i) {
        for (auto& s : subscribers) {
            s->takeAll();
        }
        QElapsedTimer timer;
        timer.start();
        service.refresh(Currency::usd);
        test::waitUntil([&] {
            return std::all_of(subscribers.begin(), subscribers.end(),
                               [](const auto& s) { return s->hasPending(); });
        });
        micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    return micros;
}

void BM_CycleOverLoopback(benchmark::State& state) {
    Server server;
    server.route("/v1/prices", Server::Response{200, kDocument});
    MetalPricingService overHttp(std::make_shared<HTTPPricingProxyClient>(
                                     HTTPPricingProxyClient::Configuration{server.baseUrl()}),
                                 60.0);
    MetalPricingService inProcess(std::make_shared<CannedClient>(), 60.0);
    timeCycles(overHttp, 20);  // warm the connection pool and the decoder
    timeCycles(inProcess, 20);

    std::vector<double> http;
    std::vector<double> ours;
    for (auto _ : state) {
        const double h = median(timeCycles(overHttp, 50));
        const double o = median(timeCycles(inProcess, 50));
        http.push_back(h);
        ours.push_back(o);
        state.SetIterationTime(h / 1e6);
    }
    const double h = median(http);
    const double o = median(ours);
    state.counters["median_cycle_us"] = h;
    state.counters["our_code_us"] = o;
    state.counters["our_share_pct"] = 100.0 * o / h;
}
BENCHMARK(BM_CycleOverLoopback)->UseManualTime()->Iterations(10)->Unit(benchmark::kMicrosecond);

void BM_SyntheticHistoryAll(benchmark::State& state) {
    MockPricingProxyClient client(std::make_shared<SystemRandomSource>(7));
    client.fetchLatest(Currency::usd);
    for (auto _ : state) {
        auto future =
            client.fetchHistory(MetalSeries::gold, TimeRange::all, Currency::eur, MetalUnit::gram);
        benchmark::DoNotOptimize(future.takeResult());
    }
    state.SetItemsProcessed(state.iterations() * 730);
}
BENCHMARK(BM_SyntheticHistoryAll)->Unit(benchmark::kMicrosecond);

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Polls through the loop on a fake clock; each cycle one subscriber joins and the oldest of the
// transient ones leaves, so ten transient subscribers are alive at any time, each buffering
// what arrived since it joined, next to three that drain every cycle.
void BM_MemoryOverCycles(benchmark::State& state) {
    Server server;
    server.route("/v1/prices", Server::Response{200, kDocument});
    auto clock = std::make_shared<test::FakeClock>();
    MetalPricingService service(std::make_shared<HTTPPricingProxyClient>(
                                    HTTPPricingProxyClient::Configuration{server.baseUrl()}),
                                1.0, clock);
    std::vector<std::unique_ptr<Stream>> readers;
    for (int i = 0; i < 3; ++i) {
        readers.push_back(service.live(Currency::usd));
    }
    std::deque<std::unique_ptr<Stream>> transient;
    int cycles = 0;
    auto runCycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            transient.push_back(service.live(Currency::usd));
            if (transient.size() > 10) {
                transient.pop_front();
            }
            if (cycles++ == 0) {
                service.start(Currency::usd);
            } else {
                clock->advance(std::chrono::seconds(1));
            }
            test::waitUntil([&] { return readers.back()->hasPending(); });
            for (auto& r : readers) {
                r->takeAll();
            }
            test::waitUntil([&] { return clock->pendingSleeps() == 1; });
            // The harness's own records must not pass for growth of the engine.
            server.forgetRequests();
            clock->forgetRequestedSleeps();
        }
    };

    for (auto _ : state) {
        runCycles(1000);  // warm-up: pools, caches, first allocations
        const long before = residentKiB();
        const long peakBefore = peakKiB();
        runCycles(static_cast<int>(state.range(0)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const long after = residentKiB();
        state.counters["cycles"] = cycles;
        state.counters["rss_before_KiB"] = static_cast<double>(before);
        state.counters["rss_after_KiB"] = static_cast<double>(after);
        state.counters["peak_rss_before_KiB"] = static_cast<double>(peakBefore);
        state.counters["peak_rss_after_KiB"] = static_cast<double>(peakKiB());
    }
}
BENCHMARK(BM_MemoryOverCycles)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mintlux

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
