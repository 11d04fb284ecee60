// Pricing service benchmarks: the per-request work of a cached /v1/prices answer, and the cost
// of rebuilding a 730-point history document after the market state changed. The socket side
// is measured with scripts/load-test.sh (wrk).

#include "PriceDocuments.h"
#include "PricingApi.h"
#include "market/MarketRecorder.h"
#include "storage/SqliteStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace mintlux::server {
namespace {

struct Market {
    Market() : store(dir.filePath(QStringLiteral("bench.sqlite"))), recorder(store, clock) {
        recorder.load();
        const Instant now = clock->now();
        for (const MetalSeries metal : MetalSeries::allCases()) {
            std::vector<DailyClose> closes;
            const QDate today = QDate::currentDate();
            for (int day = 730; day > 0; --day) {
                closes.push_back({today.addDays(-day), Decimal(2000 + day) / Decimal(7)});
            }
            recorder.applyDailyCloses(metal, QStringLiteral("LBMA"), closes);
        }
        recorder.applyFx({QDate::currentDate(), {{Currency::eur, *Decimal::parse("0.9215")}}});
        tick(now);
    }
    void tick(Instant at) {
        std::vector<SpotQuote> quotes;
        for (const MetalSeries metal : MetalSeries::allCases()) {
            quotes.push_back({metal, *Decimal::parse("2890.4521"), at});
        }
        recorder.applySpot(quotes);
    }

    QTemporaryDir dir;
    std::shared_ptr<Clock> clock = Clock::system();
    SqliteStore store;
    MarketRecorder recorder;
};

void BM_CachedPricesRequest(benchmark::State& state) {
    Market market;
    PriceDocuments documents(market.recorder, market.clock);
    PricingApi api(documents, [] { return HttpResponse{}; });
    const HttpRequest request{"GET", "/v1/prices", "currency=EUR"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(api.handle(request));
    }
}
BENCHMARK(BM_CachedPricesRequest);

void BM_HistoryAllRebuild(benchmark::State& state) {
    Market market;
    PriceDocuments documents(market.recorder, market.clock);
    Instant t = market.clock->now();
    for (auto _ : state) {
        state.PauseTiming();
        t += std::chrono::seconds(1);
        market.tick(t);
        state.ResumeTiming();
        auto body =
            documents.history(MetalSeries::gold, TimeRange::all, Currency::eur, MetalUnit::gram);
        benchmark::DoNotOptimize(body);
    }
}
BENCHMARK(BM_HistoryAllRebuild)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace mintlux::server

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
