#pragma once

#include "ChartAxes.h"
#include "ChartWindowController.h"
#include "PriceChartPlot.h"
#include "market/Currency.h"
#include "market/Decimal.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/PricePoint.h"
#include "market/PriceTick.h"
#include "market/TimeRange.h"
#include "pricing/PricingService.h"

#include <memory>
#include <optional>
#include <vector>

#include <QPointer>
#include <QWidget>

class QChartView;

namespace mintlux {

class ChartingDataSource;
class PriceChartHeader;
class SegmentedChooser;

// One metal's price history in one currency: a header with the live price in the chosen unit
// and the change over the chosen range, the unit and range choosers, and the line chart.
//
// While shown it runs two tasks: the history load of the current selection and the live
// subscription of its currency. Picking another range or unit abandons the running load and
// starts the one for the new selection, so only the newest selection's answer is ever shown.
class PriceChartView : public QWidget {
    Q_OBJECT

public:
    using Service = PricingService<MetalSeries, MetalUnit>;
    using AreaState = PriceChartPlot::State;

    // Identifies a history load: a change of any field replaces the running load.
    struct TaskKey {
        TimeRange range;
        MetalUnit unit;
        MetalSeries metal;
        Currency currency;
        friend bool operator==(const TaskKey&, const TaskKey&) = default;
    };

    PriceChartView(MetalSeries metal, Currency currency,
                   std::shared_ptr<ChartingDataSource> dataSource,
                   std::shared_ptr<Service> pricingService, QWidget* parent = nullptr);
    ~PriceChartView() override;

    // Builds charts in this binary, for code linked with the chart rather than loading it.
    static ChartViewFactory factory();

    MetalSeries metal() const { return m_metal; }
    Currency currency() const { return m_currency; }
    TimeRange range() const { return m_range; }
    MetalUnit unit() const { return m_unit; }
    // As if picked in the choosers.
    void setRange(TimeRange range);
    void setUnit(MetalUnit unit);

    const std::vector<MetalPricePoint>& points() const { return m_points; }
    // The points on hand came from the back-end's fallback: invented, not market data.
    bool isSimulated() const { return m_origin.fromFallback; }
    bool isLoading() const { return m_isLoading; }
    const std::optional<QString>& loadError() const { return m_loadError; }
    const std::optional<MetalPriceTick>& liveTick() const { return m_liveTick; }
    std::optional<Decimal> currentPriceInSelectedUnit() const;
    // Live price against the first history point. None unless the history on hand is the
    // market's own, of the selected range and unit: a change against invented points, against
    // an ounce history for a gram price, or a month's change labelled "over 1Y" would all show
    // a wrong number.
    std::optional<Decimal> changePercent() const;
    ChartAxes::Domain yDomain() const { return ChartAxes::yDomain(m_points); }
    AreaState areaState() const;

    QString titleText() const;
    QString subtitleText() const;
    // Empty when not shown.
    QString priceText() const;
    QString changeText() const;
    QColor changeColor() const;
    QString errorText() const;
    QString simulatedNoticeText() const;
    QString simulatedNoticeToolTip() const;
    bool headerSpinnerShown() const;
    SegmentedChooser* unitChooser() const { return m_unitChooser; }
    SegmentedChooser* rangeChooser() const { return m_rangeChooser; }
    QChartView* chartView() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeChoosers();
    TaskKey currentKey() const { return {m_range, m_unit, m_metal, m_currency}; }
    void reload();
    void cancelLoad();
    void finishLoad();
    void drainLive();
    void updateHeader();
    void updateArea();

    MetalSeries m_metal;
    Currency m_currency;
    std::shared_ptr<ChartingDataSource> m_dataSource;
    std::shared_ptr<Service> m_service;

    TimeRange m_range = TimeRange::oneMonth;
    MetalUnit m_unit = MetalUnit::troyOunce;
    std::vector<MetalPricePoint> m_points;
    HistoryOrigin m_origin;
    std::optional<TaskKey> m_pointsKey;
    std::optional<MetalPriceTick> m_liveTick;
    bool m_isLoading = false;
    std::optional<QString> m_loadError;

    // Parent of the running load's completion handler; deleting it abandons the load.
    QPointer<QObject> m_load;
    std::unique_ptr<Service::SnapshotStream> m_stream;

    PriceChartHeader* m_header = nullptr;
    SegmentedChooser* m_unitChooser = nullptr;
    SegmentedChooser* m_rangeChooser = nullptr;
    PriceChartPlot* m_plot = nullptr;
};

}  // namespace mintlux
