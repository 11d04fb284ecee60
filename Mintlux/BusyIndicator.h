#pragma once

#include <QWidget>

class QTimer;

namespace mintlux {

// An indeterminate progress spinner: a rotating arc in the text colour. It animates only while
// visible, so a hidden one costs nothing.
class BusyIndicator : public QWidget {
public:
    explicit BusyIndicator(int diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_diameter;
    int m_angle = 0;
    QTimer* m_timer;
};

}  // namespace mintlux
