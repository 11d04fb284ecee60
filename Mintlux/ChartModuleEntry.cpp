// The chart module's entry points (see ChartModule.h).

#include "ChartModule.h"
#include "PriceChartView.h"

using namespace mintlux;

extern "C" {

Q_DECL_EXPORT QWidget* mintluxChartMakeView(
    MetalSeries metal, Currency currency, std::shared_ptr<ChartingDataSource> dataSource,
    std::shared_ptr<PricingService<MetalSeries, MetalUnit>> service) {
    return new PriceChartView(metal, currency, std::move(dataSource), std::move(service));
}

Q_DECL_EXPORT const char* mintluxChartVersion() {
    return MINTLUX_VERSION;
}
}

// The loader looks the entry points up by these names and types.
static_assert(std::is_same_v<decltype(mintluxChartMakeView), chartModule::MakeView>);
static_assert(std::is_same_v<decltype(mintluxChartVersion), chartModule::Version>);
