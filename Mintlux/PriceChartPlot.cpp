#include "PriceChartPlot.h"

#include "BusyIndicator.h"
#include "platform/TitleRenderer.h"

#include <algorithm>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QLabel>
#include <QSplineSeries>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace mintlux {

namespace {

constexpr int kMinimumChartHeight = 240;
// Amber: a caution, not an error; the history is still drawn.
const QColor kNoticeColor(0xE0, 0x8E, 0x0B);

QFont scaled(const QFont& base, qreal factor) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    return font;
}

void setTicks(QCategoryAxis& axis, const std::vector<ChartAxes::Tick>& ticks, double start) {
    for (const QString& label : axis.categoriesLabels()) {
        axis.remove(label);
    }
    axis.setStartValue(start);
    for (const ChartAxes::Tick& tick : ticks) {
        if (!tick.label.isEmpty()) {
            axis.append(tick.label, tick.value);
        }
    }
}

QCategoryAxis* makeAxis(const QFont& font) {
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setLabelsFont(font);
    axis->setTruncateLabels(false);
    return axis;
}

double millis(Instant t) {
    return static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

}  // namespace

PriceChartPlot::PriceChartPlot(const QString& accessibleName, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_area = new QStackedWidget(this);
    m_area->setMinimumHeight(kMinimumChartHeight);
    column->addWidget(m_area);

    m_error = new QLabel(m_area);
    m_error->setObjectName(QStringLiteral("chartError"));
    m_error->setFont(scaled(font(), 0.95));
    m_error->setAlignment(Qt::AlignCenter);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_loadingPage = new QWidget(m_area);
    auto* loadingLayout = new QVBoxLayout(m_loadingPage);
    loadingLayout->addWidget(new BusyIndicator(28, m_loadingPage), 0, Qt::AlignCenter);
    m_empty = new QLabel(QStringLiteral("No data"), m_area);
    m_empty->setAlignment(Qt::AlignCenter);

    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setBackgroundVisible(false);
    m_chart->setMargins(QMargins(0, 0, 0, 0));
    m_chart->setBackgroundRoundness(0);
    // A spline passes through every sample and reads as one continuous price path.
    m_series = new QSplineSeries;
    m_series->setName(QStringLiteral("Price"));
    m_chart->addSeries(m_series);
    const QFont axisFont = scaled(font(), 0.75);
    m_xAxis = makeAxis(axisFont);
    m_yAxis = makeAxis(axisFont);
    m_chart->addAxis(m_xAxis, Qt::AlignBottom);
    m_chart->addAxis(m_yAxis,
                     layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    m_series->attachAxis(m_xAxis);
    m_series->attachAxis(m_yAxis);

    // The notice sits right over the line it qualifies, where the eye already is.
    m_chartPage = new QWidget(m_area);
    auto* chartColumn = new QVBoxLayout(m_chartPage);
    chartColumn->setContentsMargins(0, 0, 0, 0);
    chartColumn->setSpacing(6);
    m_simulated = new QLabel(m_chartPage);
    m_simulated->setObjectName(QStringLiteral("simulatedNotice"));
    m_simulated->setWordWrap(true);
    m_simulated->setFont(scaled(font(), 0.9));
    m_simulated->hide();
    chartColumn->addWidget(m_simulated);
    m_chartView = new QChartView(m_chart, m_chartPage);
    m_chartView->setObjectName(QStringLiteral("chartView"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setFrameShape(QFrame::NoFrame);
    m_chartView->setBackgroundBrush(Qt::NoBrush);
    m_chartView->setStyleSheet(QStringLiteral("background: transparent"));
    m_chartView->setAccessibleName(accessibleName);
    chartColumn->addWidget(m_chartView, 1);

    m_area->addWidget(m_error);
    m_area->addWidget(m_loadingPage);
    m_area->addWidget(m_empty);
    m_area->addWidget(m_chartPage);
    applyColors();
    setPoints({}, Currency::usd);
}

void PriceChartPlot::setState(State state, const QString& error) {
    switch (state) {
        case State::error:
            m_error->setText(error);
            m_area->setCurrentWidget(m_error);
            break;
        case State::loading:
            m_area->setCurrentWidget(m_loadingPage);
            break;
        case State::empty:
            m_area->setCurrentWidget(m_empty);
            break;
        case State::chart:
            m_area->setCurrentWidget(m_chartPage);
            break;
    }
}

void PriceChartPlot::setSimulated(bool simulated, const QString& reason) {
    m_simulated->setVisible(simulated);
    m_dashed = simulated;
    applyColors();
    m_simulated->setText(
        simulated ? QStringLiteral("\u26A0 Simulated history, not market data: the pricing service "
                                   "could not be reached.")
                  : QString());
    m_simulated->setToolTip(reason);
    m_simulated->setAccessibleDescription(reason);
    // Read together with the chart, so a screen reader does not present invented data as real.
    m_chartView->setAccessibleDescription(simulated ? m_simulated->text() : QString());
}

QString PriceChartPlot::errorText() const {
    return m_area->currentWidget() == m_error ? m_error->text() : QString();
}

QString PriceChartPlot::simulatedNoticeText() const {
    return m_simulated->isHidden() ? QString() : m_simulated->text();
}

QString PriceChartPlot::simulatedNoticeToolTip() const {
    return m_simulated->toolTip();
}

void PriceChartPlot::setPoints(const std::vector<MetalPricePoint>& points, Currency currency) {
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(points.size()));
    for (const MetalPricePoint& point : points) {
        line.append(QPointF(millis(point.timestamp()), point.value().toDouble()));
    }
    m_series->replace(line);

    const ChartAxes::Domain domain = ChartAxes::yDomain(points);
    setTicks(*m_yAxis, ChartAxes::valueTicks(domain, kYTicks, currency), domain.lo);
    m_yAxis->setRange(domain.lo, domain.hi);

    if (points.empty()) {
        setTicks(*m_xAxis, {}, 0);
        m_xAxis->setRange(0, 1);
        return;
    }
    const auto [first, last] = std::minmax_element(
        points.begin(), points.end(), [](const MetalPricePoint& a, const MetalPricePoint& b) {
            return a.timestamp() < b.timestamp();
        });
    Instant from = first->timestamp();
    Instant to = last->timestamp();
    if (from == to) {
        // A single sample still gets a readable stretch of time around it.
        from -= std::chrono::hours(12);
        to += std::chrono::hours(12);
    }
    setTicks(*m_xAxis, ChartAxes::dateTicks(from, to, kXTicks), millis(from));
    m_xAxis->setRange(millis(from), millis(to));
}

void PriceChartPlot::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void PriceChartPlot::applyColors() {
    const QPalette base = palette();
    const TitleColors colors =
        TitleColors::forBackground(base.color(QPalette::Window), base.color(QPalette::WindowText));
    const QColor secondary = base.color(QPalette::PlaceholderText);
    const auto recolor = [](QLabel* label, const QColor& color) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, color);
        label->setPalette(p);
    };
    recolor(m_empty, secondary);
    recolor(m_error, colors.negative);
    recolor(m_simulated, kNoticeColor);

    QPen line(base.color(QPalette::Highlight), 2, m_dashed ? Qt::DashLine : Qt::SolidLine);
    line.setCapStyle(Qt::RoundCap);
    line.setJoinStyle(Qt::RoundJoin);
    m_series->setPen(line);
    QColor grid = base.color(QPalette::WindowText);
    grid.setAlphaF(0.12F);
    for (QCategoryAxis* axis : {m_xAxis, m_yAxis}) {
        axis->setLabelsColor(secondary);
        axis->setGridLineColor(grid);
        axis->setLinePenColor(grid);
    }
    m_yAxis->setLineVisible(false);
    m_xAxis->setGridLineVisible(false);
}

}  // namespace mintlux
