#include "SegmentedChooser.h"

#include <algorithm>
#include <vector>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace mintlux {

namespace {

constexpr int kPadding = 10;
constexpr int kVerticalPadding = 5;
constexpr qreal kRadius = 5;

// One segment as assistive technology sees it: a radio button that can be pressed.
class SegmentAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SegmentAccessible(SegmentedChooser* chooser, int index) : m_chooser(chooser), m_index(index) {}

    bool isValid() const override { return m_chooser != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent()->window(); }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(m_chooser);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? m_chooser->segmentName(m_index) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const QRect local = m_chooser->segmentRect(m_index);
        return QRect(m_chooser->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.checkable = true;
        s.focusable = true;
        s.checked = m_chooser->currentIndex() == m_index;
        s.focused = s.checked && m_chooser->hasFocus();
        s.invisible = !m_chooser->isVisible();
        s.disabled = !m_chooser->isEnabled();
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) {
            m_chooser->choose(m_index);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<SegmentedChooser> m_chooser;
    int m_index;
};

// The row: a group of radio buttons whose selected one carries the focus.
class ChooserAccessible final : public QAccessibleWidget {
public:
    explicit ChooserAccessible(SegmentedChooser* chooser)
        : QAccessibleWidget(chooser, QAccessible::Grouping) {}
    ~ChooserAccessible() override {
        for (const QAccessible::Id id : m_ids) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return chooser()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        while (static_cast<int>(m_ids.size()) <= index) {
            auto* segment = new SegmentAccessible(chooser(), static_cast<int>(m_ids.size()));
            m_ids.push_back(QAccessible::registerAccessibleInterface(segment));
        }
        return QAccessible::accessibleInterface(m_ids[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (std::size_t i = 0; i < m_ids.size(); ++i) {
            if (QAccessible::accessibleInterface(m_ids[i]) == child) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        return child(chooser()->segmentAt(chooser()->mapFromGlobal(QPoint(x, y))));
    }
    QAccessibleInterface* focusChild() const override {
        return chooser()->hasFocus() ? child(chooser()->currentIndex()) : nullptr;
    }

private:
    SegmentedChooser* chooser() const { return static_cast<SegmentedChooser*>(widget()); }

    mutable std::vector<QAccessible::Id> m_ids;
};

QAccessibleInterface* chooserFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("mintlux::SegmentedChooser") && object->isWidgetType()) {
        return new ChooserAccessible(static_cast<SegmentedChooser*>(object));
    }
    return nullptr;
}

}  // namespace

SegmentedChooser::SegmentedChooser(QStringList labels, QWidget* parent, QStringList names)
    : QWidget(parent), m_labels(std::move(labels)), m_names(std::move(names)) {
    static const bool installed = [] {
        QAccessible::installFactory(chooserFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

QString SegmentedChooser::segmentName(int index) const {
    const QString name = m_names.value(index);
    return name.isEmpty() ? label(index) : name;
}

void SegmentedChooser::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == m_current) {
        return;
    }
    m_current = index;
    update();
    announceSelection();
}

void SegmentedChooser::choose(int index) {
    if (index < 0 || index >= count()) {
        return;
    }
    setCurrentIndex(index);
    emit activated(index);
}

void SegmentedChooser::announceSelection() {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleInterface* self = QAccessible::queryAccessibleInterface(this);
    QAccessibleInterface* segment = self != nullptr ? self->child(m_current) : nullptr;
    if (segment == nullptr) {
        return;
    }
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent checkedEvent(segment, changed);
    QAccessible::updateAccessibility(&checkedEvent);
    if (hasFocus()) {
        QAccessibleEvent focus(segment, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void SegmentedChooser::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    announceSelection();
}

bool SegmentedChooser::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const int index = segmentAt(static_cast<QHelpEvent*>(event)->pos());
        if (index >= 0 && segmentName(index) != label(index)) {
            setToolTip(segmentName(index));
        } else {
            setToolTip(QString());
        }
    }
    return QWidget::event(event);
}

int SegmentedChooser::segmentAt(QPoint point) const {
    for (int i = 0; i < count(); ++i) {
        if (segmentRect(i).contains(point)) {
            return i;
        }
    }
    return -1;
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
    if (const int index = segmentAt(event->position().toPoint()); index >= 0) {
        choose(index);
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
