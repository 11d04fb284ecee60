#include "ChartWindowController.h"
#include "PriceChartView.h"
#include "platform/Windows.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/Futures.h"
#include "pricing/MetalPricingService.h"

#include <chrono>
#include <memory>
#include <sstream>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QImage>
#include <QPromise>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

using namespace mintlux;
using namespace std::chrono;

namespace {

constexpr int kPoints = 730;  // two years of daily prices

// History that waits until the benchmark hands it over, so the clock can start at arrival.
class HeldHistoryProxy : public PricingProxyClient {
public:
    QFuture<LatestPricesResponse> fetchLatest(Currency) override {
        return Futures::failed<LatestPricesResponse>(
            std::make_exception_ptr(std::runtime_error("no prices")));
    }
    QFuture<HistoryResponse> fetchHistory(MetalSeries, TimeRange, Currency, MetalUnit) override {
        pending = Futures::startedPromise<HistoryResponse>();
        return pending->future();
    }
    void deliver() {
        auto promise = std::move(pending);
        Futures::fulfil(*promise, HistoryResponse(history));
    }

    HistoryResponse history = randomWalk();
    std::shared_ptr<QPromise<HistoryResponse>> pending;

private:
    static HistoryResponse randomWalk() {
        HistoryResponse response;
        QRandomGenerator random(7);
        const Instant start = sys_days(year(2024) / 12 / 6);
        double value = 2000;
        for (int day = 0; day < kPoints; ++day) {
            value *= 1 + (random.generateDouble() - 0.5) * 0.02;
            response.points.push_back(
                {start + days(day),
                 *Decimal::parse(std::to_string(static_cast<int>(value * 100)) + "e-2")});
        }
        return response;
    }
};

void spinUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (!done()) {
        throw std::runtime_error("the chart did not settle");
    }
}

struct Fixture {
    std::ostringstream log;
    std::shared_ptr<HeldHistoryProxy> proxy = std::make_shared<HeldHistoryProxy>();
    std::shared_ptr<MetalPricingService> service =
        std::make_shared<MetalPricingService>(proxy, 60.0, nullptr, log);
    std::shared_ptr<ChartingDataSource> dataSource =
        std::make_shared<ChartingDataSource>(service, 60.0);

    std::unique_ptr<PriceChartView> shownView() {
        auto view =
            std::make_unique<PriceChartView>(MetalSeries::gold, Currency::usd, dataSource, service);
        view->resize(700, 480);
        view->show();
        return view;
    }
    // Answers whatever the view asked for and waits until it is on screen.
    void land(PriceChartView& view) {
        if (proxy->pending) {
            proxy->deliver();
        }
        spinUntil([&] { return !view.isLoading(); });
    }
};

// From the back-end's answer to a painted frame: both pricing hops, the series and axes
// rebuilt for 730 points, and the whole view drawn.
void BM_HistoryArrivalToPaintedFrame(benchmark::State& state) {
    Fixture f;
    auto view = f.shownView();
    f.land(*view);
    bool year = true;
    for (auto _ : state) {
        f.dataSource->invalidate();
        view->setRange(year ? TimeRange::oneYear : TimeRange::all);
        year = !year;
        const auto start = steady_clock::now();
        f.land(*view);
        const QImage frame = view->grab().toImage();
        benchmark::DoNotOptimize(frame.constBits());
        state.SetIterationTime(duration<double>(steady_clock::now() - start).count());
    }
    state.counters["points"] = static_cast<double>(view->points().size());
}
BENCHMARK(BM_HistoryArrivalToPaintedFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

// Flipping between two cached ranges: the click, the cache's answer, the redraw. Goal < 50 ms.
void BM_CachedRangeSwitchFrame(benchmark::State& state) {
    Fixture f;
    auto view = f.shownView();
    f.land(*view);
    view->setRange(TimeRange::oneYear);
    f.land(*view);
    bool year = false;
    for (auto _ : state) {
        const auto start = steady_clock::now();
        view->setRange(year ? TimeRange::oneYear : TimeRange::oneMonth);
        year = !year;
        f.land(*view);
        const QImage frame = view->grab().toImage();
        benchmark::DoNotOptimize(frame.constBits());
        state.SetIterationTime(duration<double>(steady_clock::now() - start).count());
        if (f.proxy->pending) {
            state.SkipWithError("the switch went to the back-end");
            break;
        }
    }
}
BENCHMARK(BM_CachedRangeSwitchFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

// The frame alone, nothing changed: what every switch pays at least.
void BM_RepaintFrame(benchmark::State& state) {
    Fixture f;
    auto view = f.shownView();
    f.land(*view);
    for (auto _ : state) {
        const QImage frame = view->grab().toImage();
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_RepaintFrame)->Unit(benchmark::kMillisecond);

// Opening the chart from the popup until the window's first frame with the (cached) history.
// The first open builds the window; later ones reuse it with a fresh chart.
void openAndPaint(ChartWindowController& controller, Fixture& f) {
    controller.show(MetalSeries::gold, Currency::usd);
    f.land(*static_cast<PriceChartView*>(controller.view()));
    const QImage frame = controller.window()->grab().toImage();
    benchmark::DoNotOptimize(frame.constBits());
}

void BM_OpenChartWindowFirstTime(benchmark::State& state) {
    Fixture f;
    QtWindowActivator activator;
    {
        auto warm = f.shownView();  // fills the cache; the history's cost is measured above
        f.land(*warm);
    }
    for (auto _ : state) {
        ChartWindowController controller(f.service, f.dataSource, activator,
                                         PriceChartView::factory());
        const auto start = steady_clock::now();
        openAndPaint(controller, f);
        state.SetIterationTime(duration<double>(steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_OpenChartWindowFirstTime)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_OpenChartWindowAgain(benchmark::State& state) {
    Fixture f;
    QtWindowActivator activator;
    ChartWindowController controller(f.service, f.dataSource, activator, PriceChartView::factory());
    openAndPaint(controller, f);
    for (auto _ : state) {
        controller.window()->close();
        const auto start = steady_clock::now();
        openAndPaint(controller, f);
        state.SetIterationTime(duration<double>(steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_OpenChartWindowAgain)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
