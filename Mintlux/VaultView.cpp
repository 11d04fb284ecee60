#include "VaultView.h"

#include "TabularFigures.h"
#include "VaultMetalCard.h"
#include "market/DecimalLimits.h"
#include "persistence/VaultStore.h"
#include "pricing/Futures.h"

#include <algorithm>

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

namespace mintlux {

namespace {

constexpr qreal kTotalPointSize = 30;

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    return line;
}

}  // namespace

VaultView::VaultView(std::shared_ptr<MetalPricingService> service, Currency currency,
                     VaultStore& store, QString locale, QWidget* parent)
    : QWidget(parent),
      m_service(std::move(service)),
      m_store(store),
      m_locale(std::move(locale)),
      m_currency(currency),
      m_entries(store.snapshot()) {
    setObjectName(QStringLiteral("VaultView"));
    setMinimumWidth(540);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    auto* totals = new QVBoxLayout;
    totals->setSpacing(2);
    m_caption = new QLabel(QStringLiteral("Total worth"), this);
    QFont caption = font();
    caption.setPointSizeF(font().pointSizeF() * 0.85);
    m_caption->setFont(caption);
    m_total = new QLabel(this);
    m_total->setObjectName(QStringLiteral("total"));
    m_total->setFont(TabularFigures::font(m_total->font()));
    m_total->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Its width is what is left beside the chooser; the font shrinks to fit, not the text.
    m_total->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_total->installEventFilter(this);
    m_discreetNote = new QLabel(
        QStringLiteral("Discreet mode hides amounts. Turn it off in the status item's menu, the "
                       "popup or Settings to edit quantities."),
        this);
    m_discreetNote->setObjectName(QStringLiteral("discreetNote"));
    m_discreetNote->setFont(caption);
    m_discreetNote->setWordWrap(true);
    m_discreetNote->hide();
    totals->addWidget(m_caption);
    totals->addWidget(m_total);
    totals->addWidget(m_discreetNote);
    header->addLayout(totals, 1);

    m_currencyChooser = new QComboBox(this);
    m_currencyChooser->setObjectName(QStringLiteral("currency"));
    m_currencyChooser->setAccessibleName(QStringLiteral("Currency"));
    m_currencyChooser->setFixedWidth(96);
    for (const Currency c : Currency::allCases()) {
        m_currencyChooser->addItem(c.symbol() + QLatin1Char(' ') + c.rawValue());
    }
    m_currencyChooser->setCurrentIndex(static_cast<int>(currency.index()));
    // On the line of the caption, as the first baselines of the header line up.
    header->addWidget(m_currencyChooser, 0, Qt::AlignTop);
    connect(m_currencyChooser, &QComboBox::activated, this, [this](int index) {
        setCurrency(Currency::allCases().at(static_cast<std::size_t>(index)));
    });
    column->addLayout(header);
    m_divider = divider(this);
    column->addWidget(m_divider);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes from the header straight to the first card; the area follows the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* cards = new QWidget(scroll);
    cards->setObjectName(QStringLiteral("cards"));
    auto* cardColumn = new QVBoxLayout(cards);
    cardColumn->setContentsMargins(20, 20, 20, 20);
    cardColumn->setSpacing(12);
    for (const MetalSeries metal : MetalSeries::allCases()) {
        auto* card = new VaultMetalCard(
            metal, [this, metal] { return entry(metal); },
            [this, metal](const VaultEntry& changed) { setEntry(metal, changed); }, m_locale,
            cards);
        m_cards.push_back(card);
        cardColumn->addWidget(card);
    }
    cardColumn->addStretch(1);
    scroll->setWidget(cards);
    // The cards draw on the window's own background, whatever the style gives a viewport.
    scroll->viewport()->setAutoFillBackground(false);
    cards->setAutoFillBackground(false);
    column->addWidget(scroll, 1);

    // Enter in a quantity moves on to the next metal's.
    for (std::size_t i = 0; i + 1 < m_cards.size(); ++i) {
        QLineEdit* next = m_cards[i + 1]->quantityField();
        connect(m_cards[i]->quantityField(), &QLineEdit::returnPressed, next, [next] {
            next->setFocus(Qt::TabFocusReason);
            next->selectAll();
        });
    }

    updatePrices();
    applyColors();
}

VaultView::~VaultView() = default;

VaultMetalCard* VaultView::card(MetalSeries metal) const {
    return m_cards.at(metal.index());
}

VaultEntry VaultView::entry(MetalSeries metal) const {
    const auto it = m_entries.find(metal);
    return it == m_entries.end() ? VaultEntry::defaultEntry() : it->second;
}

void VaultView::setEntry(MetalSeries metal, const VaultEntry& changed) {
    m_entries.insert_or_assign(metal, changed);
    m_store.setEntry(changed, metal);
    updateTotal();
}

void VaultView::setDiscreet(bool on) {
    if (on == m_discreet) {
        return;
    }
    m_discreet = on;
    m_discreetNote->setVisible(on);
    for (VaultMetalCard* card : m_cards) {
        card->setDiscreet(on);
    }
    updateTotal();
}

void VaultView::setCurrency(Currency currency) {
    m_currencyChooser->setCurrentIndex(static_cast<int>(currency.index()));
    if (currency == m_currency) {
        return;
    }
    m_currency = currency;
    if (m_stream) {
        subscribe();
    }
    updatePrices();
}

void VaultView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_stream) {
        subscribe();
    }
}

void VaultView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_stream.reset();
    m_keepFresh.reset();
}

void VaultView::subscribe() {
    m_stream = m_service->live(m_currency);
    connect(m_stream.get(), &LiveStreamBase::available, this, &VaultView::drain);
    // The service polls only the display currency. Another one chosen here would otherwise
    // wait for a snapshot that never comes, or keep showing one fetched long ago as current: it
    // is fetched now and then on the same interval while the window is open.
    m_keepFresh = m_service->keepFresh(m_currency);
    drain();
}

void VaultView::drain() {
    if (!m_stream) {
        return;
    }
    while (auto snapshot = m_stream->next()) {
        apply(*snapshot);
    }
}

void VaultView::apply(const MetalPricingService::Snapshot& snapshot) {
    m_snapshot = snapshot;
    updatePrices();
}

std::optional<MetalPriceTick> VaultView::tickFor(MetalSeries metal) const {
    const auto it = m_snapshot.find(metal);
    // Until the chosen currency's prices arrive, the previous currency's are no price at all:
    // shown under the new currency's sign they would be wrong amounts.
    if (it == m_snapshot.end() || it->second.currency() != m_currency) {
        return std::nullopt;
    }
    return it->second;
}

void VaultView::updatePrices() {
    for (VaultMetalCard* card : m_cards) {
        card->setPrice(tickFor(card->metal()), m_currency);
    }
    updateTotal();
}

Decimal VaultView::totalValue() const {
    Decimal total(0);
    for (const MetalSeries metal : MetalSeries::allCases()) {
        if (const auto tick = tickFor(metal)) {
            total = saturatingSum(total, entry(metal).value(metal, *tick));
        }
    }
    return total;
}

QString VaultView::totalText() const {
    return m_total->text();
}

void VaultView::updateTotal() {
    m_total->setText(m_discreet ? PriceFormatter::masked(m_currency, m_locale)
                                : PriceFormatter::full(totalValue(), m_currency, m_locale));
    fitTotal();
}

void VaultView::fitTotal() {
    // 30 points bold, shrinking to no less than 60 % of that when the amount is wide.
    QFont font = m_total->font();
    font.setBold(true);
    const int available = std::max(1, m_total->width());
    qreal size = kTotalPointSize;
    for (; size > kTotalPointSize * 0.6; size -= 1) {
        font.setPointSizeF(size);
        if (QFontMetrics(font).horizontalAdvance(m_total->text()) <= available) {
            break;
        }
    }
    font.setPointSizeF(std::max(size, kTotalPointSize * 0.6));
    m_total->setFont(font);
}

bool VaultView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_total && event->type() == QEvent::Resize) {
        fitTotal();
    }
    return QWidget::eventFilter(watched, event);
}

void VaultView::applyColors() {
    QPalette caption = m_caption->palette();
    caption.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText));
    m_caption->setPalette(caption);
    m_discreetNote->setPalette(caption);
    // A faint line of the text colour reads the same on light and dark backgrounds.
    QPalette line = m_divider->palette();
    QColor color = palette().color(QPalette::WindowText);
    color.setAlphaF(0.15F);
    line.setColor(QPalette::WindowText, color);
    m_divider->setPalette(line);
}

void VaultView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

}  // namespace mintlux
