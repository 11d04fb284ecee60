#include "MenuBarTitleFormatter.h"
#include "PriceFormatter.h"

#include <benchmark/benchmark.h>

using namespace mintlux;

namespace {

MetalPriceTick goldTick() {
    return MetalPriceTick(MetalSeries::gold, *Decimal::parse("2345.678"), MetalUnit::troyOunce,
                          Currency::usd, Instant{}, *Decimal::parse("2317.08"));
}

const VaultEntry kHolding{*Decimal::parse("2.5"), MetalUnit::kilo, KaratGrade::k22};

// What the status item pays per snapshot: tick to styled title, a fresh formatter per amount.
void BM_Title(benchmark::State& state, DisplayMode mode, const char* locale) {
    const MetalPriceTick tick = goldTick();
    const QString localeId = QString::fromLatin1(locale);
    for (auto _ : state) {
        benchmark::DoNotOptimize(MenuBarTitleFormatter::attributedTitle(tick, MetalSeries::gold,
                                                                        mode, kHolding, localeId));
    }
}
BENCHMARK_CAPTURE(BM_Title, priceOnly_en_US, DisplayMode::priceOnly, "en_US");
BENCHMARK_CAPTURE(BM_Title, priceAndDelta_en_US, DisplayMode::priceAndDelta, "en_US");
BENCHMARK_CAPTURE(BM_Title, vaultValueAndDelta_en_US, DisplayMode::vaultValueAndDelta, "en_US");
BENCHMARK_CAPTURE(BM_Title, priceAndDelta_hi_IN, DisplayMode::priceAndDelta, "hi_IN");

// As the app calls it: the user's locale looked up on every call.
void BM_TitleInUserLocale(benchmark::State& state) {
    const MetalPriceTick tick = goldTick();
    for (auto _ : state) {
        benchmark::DoNotOptimize(MenuBarTitleFormatter::attributedTitle(
            tick, MetalSeries::gold, DisplayMode::priceAndDelta, kHolding));
    }
}
BENCHMARK(BM_TitleInUserLocale);

void BM_FullPrice(benchmark::State& state) {
    const Decimal amount = *Decimal::parse("234567.675");
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            PriceFormatter::full(amount, Currency::inr, QStringLiteral("hi_IN")));
    }
}
BENCHMARK(BM_FullPrice);

}  // namespace
