#include "persistence/PreferencesStore.h"
#include "persistence/SettingsKey.h"
#include "persistence/VaultStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace mintlux;

namespace {

// A store holding what a real user's does: the five settings and four holdings.
void fill(PreferencesStore& prefs) {
    VaultStore vault(prefs);
    for (const MetalSeries series : MetalSeries::allCases()) {
        vault.setEntry({*Decimal::parse("12.5"), MetalUnit::gram, KaratGrade::k22}, series);
    }
    prefs.set(QStringLiteral("XAU"), SettingsKey::primaryMetal);
    prefs.set(QStringLiteral("EUR"), SettingsKey::displayCurrency);
    prefs.set(QStringLiteral("priceAndDelta"), SettingsKey::displayMode);
    prefs.set(60, SettingsKey::refreshIntervalSec);
    prefs.set(false, SettingsKey::launchAtLogin);
}

// One settings change as the settings window makes it: the write, the re-read and merge under
// the lock file, the atomic save (temporary file, flush to disk, rename), and the delivery of
// the change notification.
void BM_PreferencesWrite(benchmark::State& state) {
    QTemporaryDir dir;
    PreferencesStore prefs(dir.filePath(QStringLiteral("preferences.json")));
    fill(prefs);
    QCoreApplication::processEvents();
    int notifications = 0;
    prefs.addObserver([&] { ++notifications; });
    std::int64_t interval = 60;
    for (auto _ : state) {
        prefs.set(++interval, SettingsKey::refreshIntervalSec);
        QCoreApplication::processEvents();
    }
    state.counters["notified"] = notifications;
}
BENCHMARK(BM_PreferencesWrite)->Unit(benchmark::kMicrosecond);

void BM_VaultSetEntry(benchmark::State& state) {
    QTemporaryDir dir;
    PreferencesStore prefs(dir.filePath(QStringLiteral("preferences.json")));
    fill(prefs);
    VaultStore vault(prefs);
    int quantity = 0;
    for (auto _ : state) {
        vault.setEntry({++quantity, MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::silver);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_VaultSetEntry)->Unit(benchmark::kMicrosecond);

// Reads never touch the disk: what the title pays for the holding on every snapshot.
void BM_VaultEntryRead(benchmark::State& state) {
    QTemporaryDir dir;
    PreferencesStore prefs(dir.filePath(QStringLiteral("preferences.json")));
    fill(prefs);
    const VaultStore vault(prefs);
    for (auto _ : state) {
        benchmark::DoNotOptimize(vault.entry(MetalSeries::gold));
    }
}
BENCHMARK(BM_VaultEntryRead);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
