#include "platform/DBusTypes.h"
#include "platform/PopoverPlacement.h"
#include "platform/TitleRenderer.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace mintlux;

namespace {

const StyledTitle kTitle{QString::fromUtf8("Au $2,346 \u25B21.23%"),
                         {{9, 7, StyledTitle::Role::positive}}};

// The work behind one title change on a StatusNotifierItem: both pixmap heights, converted to
// the wire's byte order. Goal: well under a millisecond, so a title per snapshot costs nothing.
void BM_StatusNotifierIcons(benchmark::State& state) {
    const TitleRenderer renderer(QApplication::font());
    const TitleColors colors = TitleColors::forUnknownBackground();
    for (auto _ : state) {
        for (int height : {22, 44}) {
            benchmark::DoNotOptimize(
                SniIconPixmap::fromImage(renderer.renderTitle(kTitle, height, colors)));
        }
    }
}
BENCHMARK(BM_StatusNotifierIcons)->Unit(benchmark::kMicrosecond);

void BM_CompactIcons(benchmark::State& state) {
    const TitleRenderer renderer(QApplication::font());
    const TitleColors colors = TitleColors::forUnknownBackground();
    for (auto _ : state) {
        for (int size : {22, 44}) {
            benchmark::DoNotOptimize(
                SniIconPixmap::fromImage(renderer.renderCompactIcon(kTitle, size, colors)));
        }
    }
}
BENCHMARK(BM_CompactIcons)->Unit(benchmark::kMicrosecond);

void BM_PopoverPlacement(benchmark::State& state) {
    const QList<ScreenArea> screens{{QRect(0, 0, 1920, 1080), QRect(0, 28, 1920, 1052)},
                                    {QRect(1920, 0, 2560, 1440), QRect(1920, 0, 2560, 1400)}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(placePopover(QRect(3900, 1410, 60, 30), QSize(320, 360), screens));
    }
}
BENCHMARK(BM_PopoverPlacement);

}  // namespace
