#pragma once

#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/PriceTick.h"
#include "persistence/VaultEntry.h"

#include <functional>
#include <optional>

#include <QWidget>

class QLabel;
class QLineEdit;

namespace mintlux {

class SegmentedChooser;

// One metal in the vault window: its live price, the karat (gold only), the quantity held with
// its unit, and what that is worth. Every edit goes straight to `write`; the card keeps no
// holding of its own and reads it back through `read`.
class VaultMetalCard : public QWidget {
    Q_OBJECT

public:
    using Read = std::function<VaultEntry()>;
    using Write = std::function<void(const VaultEntry&)>;

    VaultMetalCard(MetalSeries metal, Read read, Write write, QString locale,
                   QWidget* parent = nullptr);

    // The price the worth is computed from, already in `currency`; none shows "—".
    void setPrice(const std::optional<MetalPriceTick>& tick, Currency currency);
    // Discreet, quantity and worth show the mask and the quantity cannot be edited: typing over
    // a mask would write a holding the user cannot see.
    void setDiscreet(bool on);

    MetalSeries metal() const { return m_metal; }
    QLineEdit* quantityField() const { return m_quantity; }
    SegmentedChooser* unitChooser() const { return m_unit; }
    // Null except on the gold card.
    SegmentedChooser* karatChooser() const { return m_karat; }
    QString priceText() const;
    QString worthText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void quantityEdited(const QString& text);
    void showQuantity();
    void updateWorth();
    void applyColors();

    MetalSeries m_metal;
    Read m_read;
    Write m_write;
    QString m_locale;
    std::optional<MetalPriceTick> m_tick;
    Currency m_currency = Currency::usd;
    bool m_discreet = false;
    QLabel* m_price = nullptr;
    SegmentedChooser* m_karat = nullptr;
    QLineEdit* m_quantity = nullptr;
    SegmentedChooser* m_unit = nullptr;
    QLabel* m_worth = nullptr;
    QList<QLabel*> m_secondary;
};

}  // namespace mintlux
