// Every document the wire decoder accepts goes on to every surface the app shows it on: the
// status item's title in each display mode, the popup's rows, the chart's live price in each
// unit and its axes, each holding's worth and the vault's total, in every currency. None may
// throw or crash; a money text that is empty is a failure too.
#include "ChartAxes.h"
#include "MenuBarTitleFormatter.h"
#include "PriceFormatter.h"
#include "json/DecodingError.h"
#include "market/DecimalLimits.h"
#include "market/UnitConversion.h"
#include "pricing/WireDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QString>

namespace {

using namespace mintlux;

void expectText(const QString& text, const char* what) {
    if (text.isEmpty()) {
        std::fprintf(stderr, "empty %s\n", what);
        std::abort();
    }
}

void showPrices(const LatestPricesResponse& response, const QString& locale) {
    std::vector<std::pair<MetalSeries, MetalPriceTick>> ticks;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        const auto it = response.prices.find(metal.rawValue());
        if (it == response.prices.end()) {
            continue;
        }
        // As the pricing service builds its ticks: an unknown unit is taken for ounces.
        const MetalUnit unit =
            MetalUnit::fromRawValue(QStringView(it->second.unit)).value_or(MetalUnit::troyOunce);
        ticks.emplace_back(metal, MetalPriceTick(metal, it->second.value, unit, Currency::usd,
                                                 response.asOf, it->second.prevClose));
    }
    for (const Currency currency : Currency::allCases()) {
        Decimal total;
        for (const auto& [metal, usdTick] : ticks) {
            const MetalPriceTick tick(metal, usdTick.value(), usdTick.unit(), currency,
                                      usdTick.timestamp(), usdTick.prevClose());
            // The popup's row.
            expectText(PriceFormatter::full(tick.value(), currency, locale), "row price");
            if (const auto pct = tick.significantChangePercent()) {
                expectText(PriceFormatter::percent(pct->magnitude(), locale), "row change");
            }
            (void)tick.changeAbsolute();
            for (const MetalUnit unit : MetalUnit::allCases()) {
                // The chart's live price in the chosen unit.
                expectText(PriceFormatter::full(
                               UnitConversion::convertPrice(tick.value(), tick.unit(), unit),
                               currency, locale),
                           "chart price");
                // Holdings as large as the document's own figures, in each unit and fineness.
                for (const Decimal& quantity :
                     {tick.value(), tick.prevClose().value_or(Decimal(1))}) {
                    const VaultEntry entry{quantity, unit,
                                           KaratGrade::allCases()[unit.index() % 5]};
                    const Decimal worth = entry.value(metal, tick);
                    expectText(PriceFormatter::full(worth, currency, locale), "worth");
                    total = saturatingSum(total, worth);
                    (void)UnitConversion::convert(quantity, unit, MetalUnit::troyOunce);
                    for (const DisplayMode mode : DisplayMode::allCases()) {
                        expectText(
                            MenuBarTitleFormatter::attributedTitle(tick, metal, mode, entry, locale)
                                .text,
                            "title");
                    }
                }
            }
        }
        expectText(PriceFormatter::full(total, currency, locale), "total");
    }
}

void showHistory(const HistoryResponse& response, const QString& locale) {
    const MetalUnit unit =
        MetalUnit::fromRawValue(QStringView(response.unit)).value_or(MetalUnit::troyOunce);
    std::vector<MetalPricePoint> points;
    points.reserve(response.points.size());
    for (const auto& p : response.points) {
        points.emplace_back(p.t, p.v, unit);
    }
    const ChartAxes::Domain domain = ChartAxes::yDomain(points);
    for (const Currency currency : Currency::allCases()) {
        for (const ChartAxes::Tick& tick : ChartAxes::valueTicks(domain, 6, currency, locale)) {
            expectText(tick.label, "y tick");
        }
    }
    if (!points.empty()) {
        (void)ChartAxes::dateTicks(points.front().timestamp(), points.back().timestamp(), 5,
                                   locale);
    }
}

template <WireRecord T>
std::optional<T> tryDecode(WireDecoder& decoder, QByteArrayView bytes) {
    try {
        return decoder.decode<T>(bytes);
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static WireDecoder decoder;
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Two locales with different grouping, digits and sign placement, taken in turn.
    const QString locale = size % 2 ? QStringLiteral("hi_IN") : QStringLiteral("de_DE");
    if (const auto prices = tryDecode<LatestPricesResponse>(decoder, input)) {
        showPrices(*prices, locale);
    }
    if (const auto history = tryDecode<HistoryResponse>(decoder, input)) {
        showHistory(*history, locale);
    }
    return 0;
}
