#include "ChartWindowController.h"

#include "platform/Windows.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/MetalPricingService.h"

#include <QAction>
#include <QKeySequence>
#include <QMetaObject>
#include <QWidget>

namespace mintlux {

ChartWindowController::ChartWindowController(std::shared_ptr<MetalPricingService> service,
                                             std::shared_ptr<ChartingDataSource> dataSource,
                                             WindowActivator& activator, ChartViewFactory makeView)
    : m_service(std::move(service)),
      m_dataSource(std::move(dataSource)),
      m_activator(activator),
      m_makeView(std::move(makeView)) {}

ChartWindowController::~ChartWindowController() = default;

void ChartWindowController::show(MetalSeries metal, Currency currency) {
    if (!m_window) {
        m_window = std::make_unique<QWidget>();
        m_window->setObjectName(QStringLiteral("ChartWindow"));
        configureWindow(*m_window, {QStringLiteral("Price Chart"), QSize(kWidth, kHeight), true,
                                    QSize(kMinimumWidth, kMinimumHeight)});
        auto* close = new QAction(m_window.get());
        close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)});
        QObject::connect(close, &QAction::triggered, m_window.get(), &QWidget::close);
        m_window->addAction(close);
    }
    std::unique_ptr<QWidget> view = m_makeView(metal, currency, m_dataSource, m_service);
    m_view = view.get();
    setWindowContent(*m_window, std::move(view));
    m_window->setWindowTitle(metal.displayName() + QStringLiteral(" \u2014 Price Chart"));
    m_activator.makeKeyAndOrderFront(*m_window);
    m_activator.activateApplication();
}

void ChartWindowController::invalidateCache() {
    QMetaObject::invokeMethod(
        m_dataSource.get(), [dataSource = m_dataSource.get()] { dataSource->invalidate(); },
        Qt::QueuedConnection);
}

}  // namespace mintlux
