#include "PriceChartView.h"

#include "FeedStatusText.h"
#include "PriceChartHeader.h"
#include "PriceFormatter.h"
#include "SegmentedChooser.h"
#include "market/UnitConversion.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/Futures.h"

#include <exception>

#include <QChartView>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

namespace mintlux {

namespace {

constexpr int kMargin = 20;
constexpr int kSectionSpacing = 16;

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
    m_header = new PriceChartHeader(metal, this);
    column->addWidget(m_header);
    column->addWidget(makeChoosers());
    m_plot = new PriceChartPlot(metal.displayName() + QStringLiteral(" price history"), this);
    column->addWidget(m_plot, 1);
    updateHeader();
    updateArea();
}

PriceChartView::~PriceChartView() = default;

ChartViewFactory PriceChartView::factory() {
    return [](MetalSeries metal, Currency currency, std::shared_ptr<ChartingDataSource> dataSource,
              std::shared_ptr<Service> service) {
        return std::make_unique<PriceChartView>(metal, currency, std::move(dataSource),
                                                std::move(service));
    };
}

QWidget* PriceChartView::makeChoosers() {
    QStringList unitLabels;
    QStringList unitNames;
    for (const MetalUnit unit : MetalUnit::allCases()) {
        unitLabels << unit.displayLabel(true);
        unitNames << unit.displayLabel(false);
    }
    QStringList rangeLabels;
    QStringList rangeNames;
    for (const TimeRange range : TimeRange::allCases()) {
        rangeLabels << range.displayLabel();
        rangeNames << rangeName(range);
    }
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_unitChooser = new SegmentedChooser(unitLabels, row, unitNames);
    m_unitChooser->setObjectName(QStringLiteral("unitChooser"));
    m_unitChooser->setAccessibleName(QStringLiteral("Unit"));
    m_unitChooser->setCurrentIndex(static_cast<int>(m_unit.index()));
    m_rangeChooser = new SegmentedChooser(rangeLabels, row, rangeNames);
    m_rangeChooser->setObjectName(QStringLiteral("rangeChooser"));
    m_rangeChooser->setAccessibleName(QStringLiteral("Range"));
    m_rangeChooser->setCurrentIndex(static_cast<int>(m_range.index()));
    layout->addWidget(m_unitChooser);
    layout->addWidget(m_rangeChooser);
    layout->addStretch(1);
    connect(m_unitChooser, &SegmentedChooser::activated, this, [this](int index) {
        setUnit(MetalUnit::allCases().at(static_cast<std::size_t>(index)));
    });
    connect(m_rangeChooser, &SegmentedChooser::activated, this, [this](int index) {
        setRange(TimeRange::allCases().at(static_cast<std::size_t>(index)));
    });
    return row;
}

void PriceChartView::setRange(TimeRange range) {
    m_rangeChooser->setCurrentIndex(static_cast<int>(range.index()));
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
    m_unitChooser->setCurrentIndex(static_cast<int>(unit.index()));
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
    if (m_points.empty() || m_pointsKey != currentKey() || m_origin.fromFallback) {
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
    return m_header->titleText();
}

QString PriceChartView::subtitleText() const {
    return m_header->subtitleText();
}

QString PriceChartView::priceText() const {
    return m_header->priceText();
}

QString PriceChartView::changeText() const {
    return m_header->changeText();
}

QColor PriceChartView::changeColor() const {
    return m_header->changeColor();
}

QString PriceChartView::errorText() const {
    return m_plot->errorText();
}

QString PriceChartView::simulatedNoticeText() const {
    return m_plot->simulatedNoticeText();
}

QString PriceChartView::simulatedNoticeToolTip() const {
    return m_plot->simulatedNoticeToolTip();
}

bool PriceChartView::headerSpinnerShown() const {
    return m_header->spinnerShown();
}

QChartView* PriceChartView::chartView() const {
    return m_plot->chartView();
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

void PriceChartView::reload() {
    cancelLoad();
    m_load = new QObject(this);
    m_isLoading = true;
    m_loadError.reset();
    const TaskKey key = currentKey();
    // Handlers are owned by this load's context: once a newer selection replaces it they can
    // no longer run, so a late answer never overwrites the newer selection's state.
    Futures::whenFinished(
        m_dataSource->sourcedPoints(key.metal, key.range, key.currency, key.unit), m_load.data(),
        [this, key](Service::SourcedHistory history) {
            m_points = std::move(history.points);
            m_origin = std::move(history.origin);
            m_pointsKey = key;
            m_plot->setPoints(m_points, m_currency);
            m_plot->setSimulated(m_origin.fromFallback,
                                 m_origin.fromFallback
                                     ? FeedStatusText::describeFailure(m_origin.primaryFailure,
                                                                       m_origin.primaryEndpoint)
                                     : QString());
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
    m_header->setSubtitle(QStringLiteral("per ") + m_unit.displayLabel(false) +
                          QStringLiteral(", ") + m_currency.rawValue());
    const std::optional<Decimal> price = currentPriceInSelectedUnit();
    m_header->setPrice(
        price ? std::optional<QString>(PriceFormatter::full(*price, m_currency)) : std::nullopt,
        m_isLoading);
    m_header->setChange(price ? changePercent() : std::nullopt, m_range);
}

void PriceChartView::updateArea() {
    m_plot->setState(areaState(), m_loadError.value_or(QString()));
}

}  // namespace mintlux
