#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>

namespace mintlux {

// A row of mutually exclusive segments, one of them selected. One stop in the tab order: the
// arrow keys, Home and End move the selection, a click picks a segment. Assistive technology
// sees a group (named by the widget's accessible name) of radio buttons, each with its own
// name and checked state, the selected one focused.
class SegmentedChooser : public QWidget {
    Q_OBJECT

public:
    // `names` are what a screen reader says for each segment ("troy ounce" for "oz"), and
    // the segment's tooltip where it differs from the label; empty means the labels.
    explicit SegmentedChooser(QStringList labels, QWidget* parent = nullptr,
                              QStringList names = {});

    int count() const { return static_cast<int>(m_labels.size()); }
    QString label(int index) const { return m_labels.value(index); }
    QString segmentName(int index) const;
    int currentIndex() const { return m_current; }
    // Programmatic: emits nothing.
    void setCurrentIndex(int index);
    // As a click on the segment does.
    void choose(int index);

    // Where segment `index` is drawn, in this widget's coordinates.
    QRect segmentRect(int index) const;
    int segmentAt(QPoint point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user picked a segment (a click or a key), even the one already selected.
    void activated(int index);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    int segmentWidth(int index) const;
    void announceSelection();

    QStringList m_labels;
    QStringList m_names;
    int m_current = 0;
};

}  // namespace mintlux
