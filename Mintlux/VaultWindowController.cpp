#include "VaultWindowController.h"

#include "VaultMetalCard.h"
#include "VaultView.h"
#include "platform/Windows.h"

#include <QLayout>
#include <QLineEdit>
#include <QShortcut>
#include <QWidget>

namespace mintlux {

VaultWindowController::VaultWindowController(std::shared_ptr<MetalPricingService> service,
                                             VaultStore& store, WindowActivator& activator)
    : m_service(std::move(service)), m_store(store), m_activator(activator) {}

VaultWindowController::~VaultWindowController() = default;

VaultView* VaultWindowController::view() const {
    if (!m_window || m_window->layout() == nullptr || m_window->layout()->count() == 0) {
        return nullptr;
    }
    return qobject_cast<VaultView*>(m_window->layout()->itemAt(0)->widget());
}

void VaultWindowController::setDiscreet(bool on) {
    m_discreet = on;
    if (VaultView* shown = view()) {
        shown->setDiscreet(on);
    }
}

void VaultWindowController::show(Currency currency) {
    const QString title = QString::fromLatin1(kTitle);
    if (!m_window) {
        m_window = std::make_unique<QWidget>();
        m_window->setObjectName(QStringLiteral("vaultWindow"));
        configureWindow(*m_window, {title, QSize(580, 640), true, QSize(540, 560)});
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), m_window.get());
        QObject::connect(close, &QShortcut::activated, m_window.get(), &QWidget::close);
    }
    auto view = std::make_unique<VaultView>(m_service, currency, m_store);
    view->setDiscreet(m_discreet);
    // The keyboard starts where the user types: the first metal's quantity.
    view->card(MetalSeries::gold)->quantityField()->setFocus(Qt::OtherFocusReason);
    setWindowContent(*m_window, std::move(view));
    m_window->setWindowTitle(title);
    m_activator.makeKeyAndOrderFront(*m_window);
    m_activator.activateApplication();
}

}  // namespace mintlux
