#pragma once

#include "PriceFormatter.h"
#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "persistence/VaultEntry.h"
#include "pricing/MetalPricingService.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;

namespace mintlux {

class VaultMetalCard;
class VaultStore;

// The vault window's content: the total worth of all holdings in a currency chosen here (for
// this window only), over one card per metal. Holdings are read from the store once, when the
// view is built, and every edit is written back at once. While shown, it follows the live
// prices of its currency.
class VaultView : public QWidget {
    Q_OBJECT

public:
    VaultView(std::shared_ptr<MetalPricingService> service, Currency currency, VaultStore& store,
              QString locale = PriceFormatter::userLocale(), QWidget* parent = nullptr);
    ~VaultView() override;

    Currency currency() const { return m_currency; }
    // As the header chooser does: formats in the new currency at once, amounts follow when that
    // currency's prices arrive.
    void setCurrency(Currency currency);

    // Masks every quantity and worth and the total, and says how to edit again.
    void setDiscreet(bool on);

    VaultEntry entry(MetalSeries metal) const;
    void setEntry(MetalSeries metal, const VaultEntry& entry);
    // Sum over the metals priced in the view's currency.
    Decimal totalValue() const;
    QString totalText() const;

    VaultMetalCard* card(MetalSeries metal) const;
    QComboBox* currencyChooser() const { return m_currencyChooser; }
    bool isSubscribed() const { return m_stream != nullptr; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void subscribe();
    void drain();
    void apply(const MetalPricingService::Snapshot& snapshot);
    std::optional<MetalPriceTick> tickFor(MetalSeries metal) const;
    void updatePrices();
    void updateTotal();
    void fitTotal();
    void applyColors();

    std::shared_ptr<MetalPricingService> m_service;
    VaultStore& m_store;
    QString m_locale;
    Currency m_currency;
    bool m_discreet = false;
    MetalPricingService::Snapshot m_snapshot;
    std::unordered_map<MetalSeries, VaultEntry> m_entries;
    QLabel* m_caption = nullptr;
    QLabel* m_total = nullptr;
    QLabel* m_discreetNote = nullptr;
    QFrame* m_divider = nullptr;
    QComboBox* m_currencyChooser = nullptr;
    std::vector<VaultMetalCard*> m_cards;
    std::unique_ptr<MetalPricingService::SnapshotStream> m_stream;
    std::unique_ptr<MetalPricingService::PollHandle> m_keepFresh;
};

}  // namespace mintlux
