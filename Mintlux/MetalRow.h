#pragma once

#include "market/MetalSeries.h"
#include "market/PriceTick.h"

#include <functional>
#include <optional>

#include <QWidget>

class QAbstractButton;
class QLabel;
class QToolButton;

namespace mintlux {

// One metal in the popup: a button showing symbol, name, price and the day's change that makes
// the metal the status item's, and a chart button beside it.
class MetalRow : public QWidget {
    Q_OBJECT

public:
    MetalRow(MetalSeries metal, bool isPrimary, std::function<void()> onSelect,
             std::function<void()> onOpenChart, QWidget* parent = nullptr);

    void setTick(const std::optional<MetalPriceTick>& tick);
    // The metal's alerts that can still fire, each as "above $2,400.00 per troy ounce"; any
    // show a bell beside the name that lists them.
    void setAlerts(const QStringList& conditions);
    // Empty while no bell shows.
    QString alertsText() const;

    MetalSeries metal() const { return m_metal; }
    bool isPrimary() const { return m_isPrimary; }
    QString rowHelpText() const;

    QAbstractButton* selectButton() const { return m_select; }
    QToolButton* chartButton() const { return m_chart; }
    QString priceText() const;
    // Empty when the tick has no significant change.
    QString changeText() const;
    bool changeIsNegative() const { return m_negative; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyColors();
    void applyIcon();

    MetalSeries m_metal;
    bool m_isPrimary;
    bool m_negative = false;
    QAbstractButton* m_select = nullptr;
    QToolButton* m_chart = nullptr;
    QLabel* m_price = nullptr;
    QWidget* m_changeLine = nullptr;
    QLabel* m_arrow = nullptr;
    QLabel* m_change = nullptr;
    QLabel* m_bell = nullptr;
};

}  // namespace mintlux
