#pragma once

#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "pricing/PricingService.h"

#include <functional>
#include <memory>

#include <QPointer>

class QWidget;

namespace mintlux {

class ChartingDataSource;
class MetalPricingService;
class WindowActivator;

// Makes the chart of one metal in one currency, never null. The app's own comes from the chart
// module (ChartModule.h); code linked with the chart builds it directly.
using ChartViewFactory = std::function<std::unique_ptr<QWidget>(
    MetalSeries, Currency, std::shared_ptr<ChartingDataSource>,
    std::shared_ptr<PricingService<MetalSeries, MetalUnit>>)>;

// The one price chart window of the run. It is created on first use and only hidden when
// closed; every show puts a fresh chart in it, so a chart always starts at one month and troy
// ounces.
class ChartWindowController {
public:
    static constexpr int kWidth = 700;
    static constexpr int kHeight = 480;
    static constexpr int kMinimumWidth = 540;
    static constexpr int kMinimumHeight = 420;

    ChartWindowController(std::shared_ptr<MetalPricingService> service,
                          std::shared_ptr<ChartingDataSource> dataSource,
                          WindowActivator& activator, ChartViewFactory makeView);
    ~ChartWindowController();

    ChartWindowController(const ChartWindowController&) = delete;
    ChartWindowController& operator=(const ChartWindowController&) = delete;

    void show(MetalSeries metal, Currency currency);
    // Empties the history cache from a task of its own; the open chart keeps what it shows.
    void invalidateCache();

    // Null before the first show.
    QWidget* window() const { return m_window.get(); }
    // What the last show installed: the chart, or the notice of why there is none.
    QWidget* view() const { return m_view.data(); }

private:
    std::shared_ptr<MetalPricingService> m_service;
    std::shared_ptr<ChartingDataSource> m_dataSource;
    WindowActivator& m_activator;
    ChartViewFactory m_makeView;
    std::unique_ptr<QWidget> m_window;
    QPointer<QWidget> m_view;
};

}  // namespace mintlux
