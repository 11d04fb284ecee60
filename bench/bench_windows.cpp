#include "ChartWindowController.h"
#include "FakeLoginItem.h"
#include "FakePricingProxy.h"
#include "PriceChartView.h"
#include "SettingsWindowController.h"
#include "VaultWindowController.h"
#include "persistence/PreferencesStore.h"
#include "persistence/VaultStore.h"
#include "platform/Windows.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/Futures.h"
#include "pricing/MetalPricingService.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

using namespace mintlux;

namespace {

// A month of daily closes, answered at once.
class HistoryProxy : public test::FakePricingProxy {
public:
    QFuture<HistoryResponse> fetchHistory(MetalSeries, TimeRange, Currency, MetalUnit) override {
        HistoryResponse response;
        const Instant start(std::chrono::seconds(1'765'000'000));
        for (int day = 0; day < 30; ++day) {
            response.points.push_back(
                {start + std::chrono::hours(24 * day), Decimal(2300 + (day * 7) % 50)});
        }
        return Futures::ready(std::move(response));
    }
};

// What opening a window from the popup costs in this process: the controller's show, the
// layout, and the first frame painted. Goal: under 100 ms the first time, a frame's worth
// (16 ms) after that.
struct Fixture {
    Fixture() {
        proxy->setLatest(
            Currency::usd,
            {{"XAU", "2345.678"}, {"XAG", "29.456"}, {"XPT", "980.5"}, {"XPD", "1012.25"}});
        service->refresh(Currency::usd);
        QCoreApplication::processEvents();
        vaultStore.setEntry({Decimal(2), MetalUnit::troyOunce, KaratGrade::k22}, MetalSeries::gold);
    }

    QTemporaryDir dir;
    PreferencesStore preferences{dir.filePath(QStringLiteral("preferences.json"))};
    VaultStore vaultStore{preferences};
    std::shared_ptr<HistoryProxy> proxy = std::make_shared<HistoryProxy>();
    std::shared_ptr<MetalPricingService> service =
        std::make_shared<MetalPricingService>(proxy, 60.0);
    test::FakeLoginItem loginItem;
    QtWindowActivator activator;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void paint(QWidget& window) {
    QCoreApplication::processEvents();
    window.repaint();
}

template <class Controller, class Make, class Show>
void firstShow(benchmark::State& state, Make make, Show show) {
    for (auto _ : state) {
        std::unique_ptr<Controller> controller = make();
        show(*controller);
        paint(*controller->window());
        state.PauseTiming();
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}

template <class Controller, class Make, class Show>
void showAgain(benchmark::State& state, Make make, Show show) {
    std::unique_ptr<Controller> controller = make();
    show(*controller);
    paint(*controller->window());
    for (auto _ : state) {
        state.PauseTiming();
        controller->window()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
        show(*controller);
        paint(*controller->window());
    }
}

// A chart counts as open once its history is drawn.
void paintChart(ChartWindowController& c) {
    while (static_cast<PriceChartView*>(c.view())->isLoading()) {
        QCoreApplication::processEvents();
    }
    paint(*c.window());
}

auto makeChart = [] {
    Fixture& f = fixture();
    return std::make_unique<ChartWindowController>(
        f.service, std::make_shared<ChartingDataSource>(f.service, 60.0), f.activator,
        PriceChartView::factory());
};
auto showChart = [](ChartWindowController& c) {
    c.show(MetalSeries::gold, Currency::usd);
    paintChart(c);
};
auto makeVault = [] {
    Fixture& f = fixture();
    return std::make_unique<VaultWindowController>(f.service, f.vaultStore, f.activator);
};
auto showVault = [](VaultWindowController& c) { c.show(Currency::usd); };
auto makeSettings = [] {
    Fixture& f = fixture();
    return std::make_unique<SettingsWindowController>(f.preferences, f.loginItem, f.activator);
};
auto showSettings = [](SettingsWindowController& c) { c.show(); };

// The very first window of the process also pays for fonts and style set-up, the first chart
// for the charts module's: one iteration each.
void BM_VaultWindowFirstShowCold(benchmark::State& state) {
    firstShow<VaultWindowController>(state, makeVault, showVault);
}
void BM_VaultWindowFirstShow(benchmark::State& state) {
    firstShow<VaultWindowController>(state, makeVault, showVault);
}
void BM_VaultWindowShowAgain(benchmark::State& state) {
    showAgain<VaultWindowController>(state, makeVault, showVault);
}
// The first show of a controller loads the history; later ones find it in the cache.
void BM_ChartWindowFirstShowCold(benchmark::State& state) {
    firstShow<ChartWindowController>(state, makeChart, showChart);
}
void BM_ChartWindowFirstShow(benchmark::State& state) {
    firstShow<ChartWindowController>(state, makeChart, showChart);
}
void BM_ChartWindowShowAgain(benchmark::State& state) {
    showAgain<ChartWindowController>(state, makeChart, showChart);
}
void BM_SettingsWindowFirstShow(benchmark::State& state) {
    firstShow<SettingsWindowController>(state, makeSettings, showSettings);
}
void BM_SettingsWindowShowAgain(benchmark::State& state) {
    showAgain<SettingsWindowController>(state, makeSettings, showSettings);
}
BENCHMARK(BM_VaultWindowFirstShowCold)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartWindowFirstShowCold)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VaultWindowFirstShow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VaultWindowShowAgain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartWindowFirstShow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartWindowShowAgain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsWindowFirstShow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsWindowShowAgain)->Unit(benchmark::kMillisecond);

}  // namespace
