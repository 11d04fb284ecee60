#include "platform/TrayWindow.h"

#include <QMouseEvent>
#include <QPainter>

namespace mintlux {

namespace {
// The usual tray slot height, until the tray tells us its own.
constexpr int kInitialHeight = 22;
}  // namespace

TrayWindow::TrayWindow(std::function<void(QPoint)> onPress, std::function<void(QPoint)> onMenu)
    // Not override-redirect: the tray's socket learns that we mapped ourselves only from the
    // map request such a window sends it, and without that it gives us no room.
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_onPress(std::move(onPress)),
      m_onMenu(std::move(onMenu)),
      m_renderer(font()) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowTitle(QStringLiteral("Mintlux"));
    resize(m_renderer.titleWidth(m_title, kInitialHeight), kInitialHeight);
}

void TrayWindow::setTitle(const StyledTitle& title) {
    if (title == m_title) {
        return;
    }
    m_title = title;
    setToolTipBody(m_toolTipBody);
    requestWidth();
    update();
}

void TrayWindow::setToolTipBody(const QString& body) {
    m_toolTipBody = body;
    setToolTip(body.isEmpty() ? m_title.text : m_title.text + QLatin1Char('\n') + body);
}

bool TrayWindow::showsWholeTitle() const {
    return width() >= m_renderer.titleWidth(m_title, height());
}

void TrayWindow::requestWidth() {
    const QSize wanted(m_renderer.titleWidth(m_title, height()), height());
    // XEmbed trays size the slot from the minimum in the size hints. A tray may still give us
    // less (a square slot); the window then takes the smaller size, as X windows must.
    setMinimumSize(wanted);
    if (size() != wanted) {
        resize(wanted);
    }
}

void TrayWindow::resizeEvent(QResizeEvent* event) {
    // Only a new height changes the width the title needs; answering a changed width would
    // fight a tray that keeps its slots square.
    if (event->oldSize().height() != event->size().height()) {
        // After the window system's resize is fully handled, not in the middle of it.
        QMetaObject::invokeMethod(this, &TrayWindow::requestWidth, Qt::QueuedConnection);
    }
    QWidget::resizeEvent(event);
}

void TrayWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor background = palette().color(QPalette::Window);
    painter.fillRect(rect(), background);
    const TitleColors colors =
        TitleColors::forBackground(background, palette().color(QPalette::WindowText));
    if (showsWholeTitle()) {
        m_renderer.paintTitle(painter, rect(), m_title, colors);
        return;
    }
    const int side = std::min(width(), height());
    const qreal ratio = devicePixelRatioF();
    QImage icon = m_renderer.renderCompactIcon(m_title, qRound(side * ratio), colors);
    icon.setDevicePixelRatio(ratio);
    painter.drawImage(QPoint((width() - side) / 2, (height() - side) / 2), icon);
}

void TrayWindow::mousePressEvent(QMouseEvent* event) {
    // On press, not release: a press that closes our open popup is swallowed by the popup's
    // grab, and the release that follows must not open it again.
    event->accept();
    const auto& handler = event->button() == Qt::RightButton ? m_onMenu : m_onPress;
    if (handler) {
        handler(event->globalPosition().toPoint());
    }
}

}  // namespace mintlux
