#include "BusyIndicator.h"

#include <QPainter>
#include <QPen>
#include <QTimer>

namespace mintlux {

BusyIndicator::BusyIndicator(int diameter, QWidget* parent)
    : QWidget(parent), m_diameter(diameter), m_timer(new QTimer(this)) {
    setFixedSize(diameter, diameter);
    setAccessibleName(QStringLiteral("Loading"));
    m_timer->setInterval(50);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = std::max(1.5, m_diameter / 8.0);
    const QRectF ring = QRectF(rect()).adjusted(width, width, -width, -width);
    QColor track = palette().color(QPalette::WindowText);
    track.setAlphaF(0.15F);
    painter.setPen(QPen(track, width));
    painter.drawEllipse(ring);
    QPen arc(palette().color(QPalette::WindowText), width);
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    // Angles in sixteenths of a degree, counter-clockwise; the arc turns clockwise.
    painter.drawArc(ring, -m_angle * 16, 100 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_timer->start();
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
}

}  // namespace mintlux
