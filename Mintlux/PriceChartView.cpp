#include "PriceChartView.h"

#include "BusyIndicator.h"
#include "PriceFormatter.h"
#include "SegmentedControl.h"
#include "market/UnitConversion.h"
#include "platform/TitleRenderer.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/Futures.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplineSeries>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace mintlux {

namespace {

constexpr int kMargin = 20;
constexpr int kSectionSpacing = 16;
constexpr int kMinimumChartHeight = 240;

QFont scaled(const QFont& base, qreal factor, bool bold = false) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

QString describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

QString rangeName(TimeRange range) {
    switch (range.value()) {
        case TimeRange::oneDay:
            return QStringLiteral("1 day");
        case TimeRange::oneWeek:
            return QStringLiteral("1 week");
        case TimeRange::oneMonth:
            return QStringLiteral("1 month");
        case TimeRange::threeMonths:
            return QStringLiteral("3 months");
        case TimeRange::oneYear:
            return QStringLiteral("1 year");
        case TimeRange::all:
            return QStringLiteral("All history");
    }
    return range.rawValue();
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

}  // namespace

PriceChartView::PriceChartView(MetalSeries metal, Currency currency,
                               std::shared_ptr<ChartingDataSource> dataSource,
                               std::shared_ptr<Service> pricingService, QWidget* parent)
    : QWidget(parent),
      m_metal(metal),
      m_currency(currency),
      m_dataSource(std::move(dataSource)),
      m_service(std::move(pricingService)) {
    setObjectName(QStringLiteral("PriceChartView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(kSectionSpacing);

    // Header: name and unit line on the left, live price and change on the right.
    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    m_title = new QLabel(
        metal.displayName() + QStringLiteral(" (") + metal.symbolForUI() + QLatin1Char(')'), this);
    m_title->setObjectName(QStringLiteral("chartTitle"));
    m_title->setFont(scaled(font(), 1.6, true));
    m_subtitle = new QLabel(this);
    m_subtitle->setObjectName(QStringLiteral("chartSubtitle"));
    m_subtitle->setFont(scaled(font(), 0.85));
    left->addWidget(m_title);
    left->addWidget(m_subtitle);
    left->addStretch(1);
    header->addLayout(left);
    header->addStretch(1);

    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    m_price = new QLabel(this);
    m_price->setObjectName(QStringLiteral("chartPrice"));
    m_price->setFont(scaled(font(), 1.6, true));
    m_price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_price->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_change = new QLabel(this);
    m_change->setObjectName(QStringLiteral("chartChange"));
    m_change->setFont(scaled(font(), 0.85));
    m_change->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_headerSpinner = new BusyIndicator(16, this);
    right->addWidget(m_price, 0, Qt::AlignRight);
    right->addWidget(m_change, 0, Qt::AlignRight);
    right->addWidget(m_headerSpinner, 0, Qt::AlignRight);
    right->addStretch(1);
    header->addLayout(right);
    column->addLayout(header);

    // Choosers.
    QList<SegmentedControl::Segment> units;
    for (const MetalUnit unit : MetalUnit::allCases()) {
        units.append({unit.displayLabel(true), unit.displayLabel(false)});
    }
    QList<SegmentedControl::Segment> ranges;
    for (const TimeRange range : TimeRange::allCases()) {
        ranges.append({range.displayLabel(), rangeName(range)});
    }
    m_unitChooser =
        new SegmentedControl(QStringLiteral("Unit"), units, static_cast<int>(m_unit.index()), this);
    m_unitChooser->setObjectName(QStringLiteral("unitChooser"));
    m_rangeChooser = new SegmentedControl(QStringLiteral("Range"), ranges,
                                          static_cast<int>(m_range.index()), this);
    m_rangeChooser->setObjectName(QStringLiteral("rangeChooser"));
    auto* controls = new QHBoxLayout;
    controls->setSpacing(8);
    controls->addWidget(m_unitChooser);
    controls->addWidget(m_rangeChooser);
    controls->addStretch(1);
    column->addLayout(controls);
    connect(m_unitChooser, &SegmentedControl::selectionChanged, this, [this](int index) {
        setUnit(MetalUnit::allCases().at(static_cast<std::size_t>(index)));
    });
    connect(m_rangeChooser, &SegmentedControl::selectionChanged, this, [this](int index) {
        setRange(TimeRange::allCases().at(static_cast<std::size_t>(index)));
    });

    // Chart area: one page per state.
    m_area = new QStackedWidget(this);
    m_area->setMinimumHeight(kMinimumChartHeight);
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
    m_chartView = new QChartView(m_chart, m_area);
    m_chartView->setObjectName(QStringLiteral("chartView"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setFrameShape(QFrame::NoFrame);
    m_chartView->setBackgroundBrush(Qt::NoBrush);
    m_chartView->setStyleSheet(QStringLiteral("background: transparent"));
    m_chartView->setAccessibleName(metal.displayName() + QStringLiteral(" price history"));

    m_area->addWidget(m_error);
    m_area->addWidget(m_loadingPage);
    m_area->addWidget(m_empty);
    m_area->addWidget(m_chartView);
    column->addWidget(m_area, 1);

    applyColors();
    updateChart();
    updateHeader();
    updateArea();
}

PriceChartView::~PriceChartView() = default;

void PriceChartView::setRange(TimeRange range) {
    m_rangeChooser->setSelectedIndex(static_cast<int>(range.index()));
    if (range == m_range) {
        return;
    }
    m_range = range;
    if (isVisible()) {
        reload();
    }
    updateHeader();
}

void PriceChartView::setUnit(MetalUnit unit) {
    m_unitChooser->setSelectedIndex(static_cast<int>(unit.index()));
    if (unit == m_unit) {
        return;
    }
    m_unit = unit;
    if (isVisible()) {
        reload();
    }
    updateHeader();
}

std::optional<Decimal> PriceChartView::currentPriceInSelectedUnit() const {
    if (!m_liveTick) {
        return std::nullopt;
    }
    return UnitConversion::convertPrice(m_liveTick->value(), m_liveTick->unit(), m_unit);
}

std::optional<Decimal> PriceChartView::changePercent() const {
    if (m_points.empty() || m_pointsKey != currentKey()) {
        return std::nullopt;
    }
    const Decimal& first = m_points.front().value();
    const std::optional<Decimal> current = currentPriceInSelectedUnit();
    if (first.isZero() || !current) {
        return std::nullopt;
    }
    try {
        return (*current - first) / first * Decimal(100);
    } catch (const std::exception&) {
        return std::nullopt;  // beyond the decimal's range: no meaningful percentage
    }
}

PriceChartView::AreaState PriceChartView::areaState() const {
    if (m_loadError) {
        return AreaState::error;
    }
    if (m_points.empty()) {
        return m_isLoading ? AreaState::loading : AreaState::empty;
    }
    return AreaState::chart;
}

QString PriceChartView::titleText() const {
    return m_title->text();
}

QString PriceChartView::subtitleText() const {
    return m_subtitle->text();
}

QString PriceChartView::priceText() const {
    return m_price->isHidden() ? QString() : m_price->text();
}

QString PriceChartView::changeText() const {
    return m_change->isHidden() ? QString() : m_change->text();
}

QColor PriceChartView::changeColor() const {
    return m_change->palette().color(QPalette::WindowText);
}

QString PriceChartView::errorText() const {
    return areaState() == AreaState::error ? m_error->text() : QString();
}

bool PriceChartView::headerSpinnerShown() const {
    return !m_headerSpinner->isHidden();
}

void PriceChartView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Un-minimising is a spontaneous show; the tasks kept running through it.
    if (event->spontaneous()) {
        return;
    }
    if (!m_stream) {
        m_stream = m_service->live(m_currency);
        connect(m_stream.get(), &LiveStreamBase::available, this, &PriceChartView::drainLive);
        drainLive();
    }
    reload();
}

void PriceChartView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) {
        return;
    }
    m_stream.reset();
    cancelLoad();
}

void PriceChartView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void PriceChartView::reload() {
    cancelLoad();
    m_load = new QObject(this);
    m_isLoading = true;
    m_loadError.reset();
    const TaskKey key = currentKey();
    // Handlers are owned by this load's context: once a newer selection replaces it they can
    // no longer run, so a late answer never overwrites the newer selection's state.
    Futures::whenFinished(
        m_dataSource->points(key.metal, key.range, key.currency, key.unit), m_load.data(),
        [this, key](std::vector<MetalPricePoint> points) {
            m_points = std::move(points);
            m_pointsKey = key;
            updateChart();
            finishLoad();
        },
        [this](const std::exception_ptr& error) {
            m_loadError = describe(error);
            finishLoad();
        });
    updateHeader();
    updateArea();
}

void PriceChartView::cancelLoad() {
    delete m_load.data();
    if (m_isLoading) {
        m_isLoading = false;
        updateHeader();
        updateArea();
    }
}

void PriceChartView::finishLoad() {
    m_isLoading = false;
    updateHeader();
    updateArea();
}

void PriceChartView::drainLive() {
    if (!m_stream) {
        return;
    }
    bool changed = false;
    while (auto snapshot = m_stream->next()) {
        if (const auto it = snapshot->find(m_metal); it != snapshot->end()) {
            m_liveTick = it->second;
            changed = true;
        }
    }
    if (changed) {
        updateHeader();
    }
}

void PriceChartView::updateHeader() {
    m_subtitle->setText(QStringLiteral("per ") + m_unit.displayLabel(false) + QStringLiteral(", ") +
                        m_currency.rawValue());
    const std::optional<Decimal> price = currentPriceInSelectedUnit();
    m_price->setVisible(price.has_value());
    m_headerSpinner->setVisible(!price && m_isLoading);
    const std::optional<Decimal> pct = price ? changePercent() : std::nullopt;
    m_change->setVisible(pct.has_value());
    if (price) {
        m_price->setText(PriceFormatter::full(*price, m_currency));
    }
    if (pct) {
        m_negativeChange = *pct < Decimal(0);
        m_change->setText(
            (m_negativeChange ? QStringLiteral("\u25BC ") : QStringLiteral("\u25B2 ")) +
            PriceFormatter::percent(m_negativeChange ? -*pct : *pct) + QStringLiteral(" over ") +
            m_range.displayLabel());
        recolorChange();
    }
}

void PriceChartView::updateArea() {
    switch (areaState()) {
        case AreaState::error:
            m_error->setText(*m_loadError);
            m_area->setCurrentWidget(m_error);
            break;
        case AreaState::loading:
            m_area->setCurrentWidget(m_loadingPage);
            break;
        case AreaState::empty:
            m_area->setCurrentWidget(m_empty);
            break;
        case AreaState::chart:
            m_area->setCurrentWidget(m_chartView);
            break;
    }
}

void PriceChartView::updateChart() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(m_points.size()));
    for (const MetalPricePoint& point : m_points) {
        line.append(
            QPointF(static_cast<double>(
                        duration_cast<milliseconds>(point.timestamp().time_since_epoch()).count()),
                    point.value().toDouble()));
    }
    m_series->replace(line);

    const ChartAxes::Domain domain = yDomain();
    setTicks(*m_yAxis, ChartAxes::valueTicks(domain, kYTicks, m_currency), domain.lo);
    m_yAxis->setRange(domain.lo, domain.hi);

    if (m_points.empty()) {
        setTicks(*m_xAxis, {}, 0);
        m_xAxis->setRange(0, 1);
        return;
    }
    const auto [first, last] = std::minmax_element(
        m_points.begin(), m_points.end(), [](const MetalPricePoint& a, const MetalPricePoint& b) {
            return a.timestamp() < b.timestamp();
        });
    Instant from = first->timestamp();
    Instant to = last->timestamp();
    if (from == to) {
        // A single sample still gets a readable stretch of time around it.
        from -= std::chrono::hours(12);
        to += std::chrono::hours(12);
    }
    const auto ms = [](Instant t) {
        return static_cast<double>(duration_cast<milliseconds>(t.time_since_epoch()).count());
    };
    setTicks(*m_xAxis, ChartAxes::dateTicks(from, to, kXTicks), ms(from));
    m_xAxis->setRange(ms(from), ms(to));
}

void PriceChartView::applyColors() {
    const QPalette base = palette();
    const TitleColors colors =
        TitleColors::forBackground(base.color(QPalette::Window), base.color(QPalette::WindowText));
    const QColor secondary = base.color(QPalette::PlaceholderText);

    const auto recolor = [](QLabel* label, const QColor& color) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, color);
        label->setPalette(p);
    };
    recolor(m_subtitle, secondary);
    recolor(m_empty, secondary);
    recolor(m_error, colors.negative);

    QPen line(base.color(QPalette::Highlight), 2);
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
    recolorChange();
}

// Apart from the rest: the chart's colours are costly to reapply, the direction changes often.
void PriceChartView::recolorChange() {
    const QPalette base = palette();
    const TitleColors colors =
        TitleColors::forBackground(base.color(QPalette::Window), base.color(QPalette::WindowText));
    QPalette p = m_change->palette();
    p.setColor(QPalette::WindowText, m_negativeChange ? colors.negative : colors.positive);
    m_change->setPalette(p);
}

}  // namespace mintlux
