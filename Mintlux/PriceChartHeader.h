#pragma once

#include "market/Decimal.h"
#include "market/MetalSeries.h"
#include "market/TimeRange.h"

#include <optional>

#include <QWidget>

class QLabel;

namespace mintlux {

class BusyIndicator;

// The chart window's header: the metal's name and the unit line on the left, the live price
// and its change over the range on the right.
class PriceChartHeader : public QWidget {
public:
    explicit PriceChartHeader(MetalSeries metal, QWidget* parent = nullptr);

    void setSubtitle(const QString& text);
    // None hides the price; the spinner stands in for it while history loads.
    void setPrice(const std::optional<QString>& price, bool loading);
    // None hides the change line.
    void setChange(const std::optional<Decimal>& percent, TimeRange range);

    QString titleText() const;
    QString subtitleText() const;
    QString priceText() const;
    QString changeText() const;
    QColor changeColor() const;
    bool spinnerShown() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QLabel* m_price = nullptr;
    QLabel* m_change = nullptr;
    BusyIndicator* m_spinner = nullptr;
    bool m_negativeChange = false;
};

}  // namespace mintlux
