#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>

namespace mintlux {

// A row of mutually exclusive segments, one of them selected. One stop in the tab order: the
// arrow keys, Home and End move the selection, a click picks a segment.
class SegmentedChooser : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedChooser(QStringList labels, QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_labels.size()); }
    QString label(int index) const { return m_labels.value(index); }
    int currentIndex() const { return m_current; }
    // Programmatic: emits nothing.
    void setCurrentIndex(int index);

    // Where segment `index` is drawn, in this widget's coordinates.
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user picked a segment (a click or a key), even the one already selected.
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void choose(int index);
    int segmentWidth(int index) const;
    void updateAccessibleDescription();

    QStringList m_labels;
    int m_current = 0;
};

}  // namespace mintlux
