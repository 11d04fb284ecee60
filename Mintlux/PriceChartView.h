#pragma once

#include "ChartAxes.h"
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

class QChart;
class QChartView;
class QCategoryAxis;
class QLabel;
class QSplineSeries;
class QStackedWidget;

namespace mintlux {

class BusyIndicator;
class ChartingDataSource;
class SegmentedControl;

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

    // What the chart area shows, in order of precedence.
    enum class AreaState { error, loading, empty, chart };

    // Identifies a history load: a change of any field replaces the running load.
    struct TaskKey {
        TimeRange range;
        MetalUnit unit;
        MetalSeries metal;
        Currency currency;
        friend bool operator==(const TaskKey&, const TaskKey&) = default;
    };

    static constexpr int kXTicks = 5;
    static constexpr int kYTicks = 6;

    PriceChartView(MetalSeries metal, Currency currency,
                   std::shared_ptr<ChartingDataSource> dataSource,
                   std::shared_ptr<Service> pricingService, QWidget* parent = nullptr);
    ~PriceChartView() override;

    MetalSeries metal() const { return m_metal; }
    Currency currency() const { return m_currency; }
    TimeRange range() const { return m_range; }
    MetalUnit unit() const { return m_unit; }
    // As if picked in the choosers.
    void setRange(TimeRange range);
    void setUnit(MetalUnit unit);

    const std::vector<MetalPricePoint>& points() const { return m_points; }
    bool isLoading() const { return m_isLoading; }
    const std::optional<QString>& loadError() const { return m_loadError; }
    const std::optional<MetalPriceTick>& liveTick() const { return m_liveTick; }
    std::optional<Decimal> currentPriceInSelectedUnit() const;
    // Live price against the first history point. None unless the history on hand is the one
    // of the selected range and unit: comparing a gram price with an ounce history, or labelling
    // a month's change "over 1Y", would show a wrong number.
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
    bool headerSpinnerShown() const;
    SegmentedControl* unitChooser() const { return m_unitChooser; }
    SegmentedControl* rangeChooser() const { return m_rangeChooser; }
    QChartView* chartView() const { return m_chartView; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TaskKey currentKey() const { return {m_range, m_unit, m_metal, m_currency}; }
    void reload();
    void cancelLoad();
    void finishLoad();
    void drainLive();
    void updateHeader();
    void updateArea();
    void updateChart();
    void applyColors();
    void recolorChange();

    MetalSeries m_metal;
    Currency m_currency;
    std::shared_ptr<ChartingDataSource> m_dataSource;
    std::shared_ptr<Service> m_service;

    TimeRange m_range = TimeRange::oneMonth;
    MetalUnit m_unit = MetalUnit::troyOunce;
    std::vector<MetalPricePoint> m_points;
    std::optional<TaskKey> m_pointsKey;
    std::optional<MetalPriceTick> m_liveTick;
    bool m_isLoading = false;
    std::optional<QString> m_loadError;

    // Parent of the running load's completion handler; deleting it abandons the load.
    QPointer<QObject> m_load;
    std::unique_ptr<Service::SnapshotStream> m_stream;

    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QLabel* m_price = nullptr;
    QLabel* m_change = nullptr;
    BusyIndicator* m_headerSpinner = nullptr;
    SegmentedControl* m_unitChooser = nullptr;
    SegmentedControl* m_rangeChooser = nullptr;
    QStackedWidget* m_area = nullptr;
    QLabel* m_error = nullptr;
    QWidget* m_loadingPage = nullptr;
    QLabel* m_empty = nullptr;
    QChartView* m_chartView = nullptr;
    QChart* m_chart = nullptr;
    QSplineSeries* m_series = nullptr;
    QCategoryAxis* m_xAxis = nullptr;
    QCategoryAxis* m_yAxis = nullptr;
    bool m_negativeChange = false;
};

}  // namespace mintlux
