#pragma once

#include "ChartAxes.h"
#include "market/Currency.h"
#include "market/PricePoint.h"

#include <optional>
#include <vector>

#include <QWidget>

class QCategoryAxis;
class QChart;
class QChartView;
class QLabel;
class QSplineSeries;
class QStackedWidget;

namespace mintlux {

// The chart window's plot area: one page each for an error, loading, no data and the line
// chart with its date and value axes, and over the chart a notice when the history drawn is
// simulated rather than the market's.
class PriceChartPlot : public QWidget {
public:
    // What the area shows, in order of precedence.
    enum class State { error, loading, empty, chart };

    static constexpr int kXTicks = 5;
    static constexpr int kYTicks = 6;

    PriceChartPlot(const QString& accessibleName, QWidget* parent = nullptr);

    void setPoints(const std::vector<MetalPricePoint>& points, Currency currency);
    void setState(State state, const QString& error = {});
    // Empty hides the notice; otherwise it is the reason shown in the notice's tooltip.
    void setSimulated(bool simulated, const QString& reason = {});

    QString errorText() const;
    QString simulatedNoticeText() const;
    QString simulatedNoticeToolTip() const;
    QChartView* chartView() const { return m_chartView; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QStackedWidget* m_area = nullptr;
    QLabel* m_error = nullptr;
    QWidget* m_loadingPage = nullptr;
    QLabel* m_empty = nullptr;
    QWidget* m_chartPage = nullptr;
    QLabel* m_simulated = nullptr;
    QChartView* m_chartView = nullptr;
    QChart* m_chart = nullptr;
    QSplineSeries* m_series = nullptr;
    QCategoryAxis* m_xAxis = nullptr;
    QCategoryAxis* m_yAxis = nullptr;
    bool m_dashed = false;
};

}  // namespace mintlux
