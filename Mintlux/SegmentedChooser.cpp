#include "SegmentedChooser.h"

#include <algorithm>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace mintlux {

namespace {

constexpr int kPadding = 10;
constexpr int kVerticalPadding = 5;
constexpr qreal kRadius = 5;

}  // namespace

SegmentedChooser::SegmentedChooser(QStringList labels, QWidget* parent)
    : QWidget(parent), m_labels(std::move(labels)) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    updateAccessibleDescription();
}

void SegmentedChooser::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == m_current) {
        return;
    }
    m_current = index;
    updateAccessibleDescription();
    update();
}

void SegmentedChooser::choose(int index) {
    if (index < 0 || index >= count()) {
        return;
    }
    setCurrentIndex(index);
    emit activated(index);
}

void SegmentedChooser::updateAccessibleDescription() {
    setAccessibleDescription(label(m_current));
}

int SegmentedChooser::segmentWidth(int index) const {
    return fontMetrics().horizontalAdvance(m_labels.value(index)) + 2 * kPadding;
}

QSize SegmentedChooser::sizeHint() const {
    int width = 0;
    for (int i = 0; i < count(); ++i) {
        width += segmentWidth(i);
    }
    return {width, fontMetrics().height() + 2 * kVerticalPadding};
}

QSize SegmentedChooser::minimumSizeHint() const {
    return sizeHint();
}

QRect SegmentedChooser::segmentRect(int index) const {
    if (index < 0 || index >= count()) {
        return {};
    }
    // Extra room beyond the natural width is shared out evenly, the remainder to the last.
    const int natural = sizeHint().width();
    const int extra = std::max(0, width() - natural);
    int x = 0;
    for (int i = 0; i < index; ++i) {
        x += segmentWidth(i) + extra / count();
    }
    int w = segmentWidth(index) + extra / count();
    if (index == count() - 1) {
        w = width() - x;
    }
    return {x, 0, w, height()};
}

void SegmentedChooser::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& p = palette();
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    QPainterPath outline;
    outline.addRoundedRect(frame, kRadius, kRadius);
    painter.fillPath(outline, p.color(QPalette::Button));

    QColor line = p.color(QPalette::WindowText);
    line.setAlphaF(0.18F);
    for (int i = 1; i < count(); ++i) {
        if (i == m_current || i - 1 == m_current) {
            continue;
        }
        const int x = segmentRect(i).left();
        painter.setPen(line);
        painter.drawLine(QPointF(x + 0.5, 5), QPointF(x + 0.5, height() - 5));
    }

    if (m_current >= 0 && m_current < count()) {
        QPainterPath selected;
        selected.addRoundedRect(QRectF(segmentRect(m_current)).adjusted(1.5, 1.5, -1.5, -1.5),
                                kRadius - 1, kRadius - 1);
        painter.fillPath(selected, p.color(QPalette::Highlight));
    }

    painter.setPen(hasFocus() ? p.color(QPalette::Highlight) : line);
    painter.drawPath(outline);
    if (hasFocus()) {
        QPainterPath ring;
        ring.addRoundedRect(frame.adjusted(1, 1, -1, -1), kRadius - 1, kRadius - 1);
        painter.drawPath(ring);
    }

    for (int i = 0; i < count(); ++i) {
        painter.setPen(p.color(i == m_current ? QPalette::HighlightedText : QPalette::ButtonText));
        painter.drawText(segmentRect(i), Qt::AlignCenter, m_labels[i]);
    }
}

void SegmentedChooser::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    for (int i = 0; i < count(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) {
            choose(i);
            return;
        }
    }
}

void SegmentedChooser::keyPressEvent(QKeyEvent* event) {
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    int target = m_current;
    switch (event->key()) {
        case Qt::Key_Left:
            target = m_current + (rtl ? 1 : -1);
            break;
        case Qt::Key_Right:
            target = m_current + (rtl ? -1 : 1);
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count() - 1;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    target = std::clamp(target, 0, count() - 1);
    if (target != m_current) {
        choose(target);
    }
}

void SegmentedChooser::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
}

}  // namespace mintlux
