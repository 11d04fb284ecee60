#include "VaultMetalCard.h"

#include "PriceFormatter.h"
#include "QuantityText.h"
#include "SegmentedChooser.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QValidator>

namespace mintlux {

namespace {

constexpr QChar kEmDash(0x2014);

// A holding is an amount held: a sign is refused as typed or pasted, in every form the quantity
// parser reads as one (any dash, and the minus and plus signs in their mathematical, super- and
// subscript, heavy and full-width forms). Anything else goes through, and text that is no number
// reads as 0.
class UnsignedQuantity : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*position*/) const override {
        static const QString kSigns =
            QStringLiteral("+\u2212\u207A\u207B\u208A\u208B\u2795\u2796\uFB29\uFE62\uFF0B");
        for (const QChar c : input) {
            if (kSigns.contains(c) || c.category() == QChar::Punctuation_Dash) {
                return Invalid;
            }
        }
        return Acceptable;
    }
};

QFont scaled(const QFont& base, qreal scale, bool bold = false) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * scale);
    font.setBold(bold);
    return font;
}

QStringList unitLabels(bool abbreviated = true) {
    QStringList labels;
    for (const MetalUnit unit : MetalUnit::allCases()) {
        labels << unit.displayLabel(abbreviated);
    }
    return labels;
}

QStringList karatLabels() {
    QStringList labels;
    for (const KaratGrade karat : KaratGrade::allCases()) {
        labels << karat.displayLabel();
    }
    return labels;
}

int karatIndex(KaratGrade karat) {
    return static_cast<int>(karat.value());
}

}  // namespace

VaultMetalCard::VaultMetalCard(MetalSeries metal, Read read, Write write, QString locale,
                               QWidget* parent)
    : QWidget(parent),
      m_metal(metal),
      m_read(std::move(read)),
      m_write(std::move(write)),
      m_locale(std::move(locale)) {
    setObjectName(QStringLiteral("card-") + metal.rawValue());
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);

    const QFont caption = scaled(font(), 0.85);
    auto rowLabel = [&](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setFont(caption);
        label->setFixedWidth(56);
        label->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
        m_secondary << label;
        return label;
    };

    auto* title = new QHBoxLayout;
    auto* name =
        new QLabel(metal.symbolForUI() + QStringLiteral(" \u2014 ") + metal.displayName(), this);
    name->setFont(scaled(font(), 1.1, true));
    title->addWidget(name);
    title->addStretch(1);
    m_price = new QLabel(this);
    m_price->setFont(caption);
    m_price->setObjectName(QStringLiteral("price"));
    m_secondary << m_price;
    title->addWidget(m_price);
    column->addLayout(title);

    const VaultEntry entry = m_read();
    if (metal == MetalSeries::gold) {
        auto* row = new QHBoxLayout;
        QLabel* label = rowLabel(QStringLiteral("Karat"));
        row->addWidget(label);
        m_karat = new SegmentedChooser(karatLabels(), this);
        m_karat->setAccessibleName(metal.displayName() + QStringLiteral(" karat"));
        m_karat->setCurrentIndex(karatIndex(entry.karat));
        label->setBuddy(m_karat);
        row->addWidget(m_karat);
        row->addStretch(1);
        column->addLayout(row);
        connect(m_karat, &SegmentedChooser::activated, this, [this](int index) {
            VaultEntry changed = m_read();
            changed.karat = KaratGrade::allCases().at(static_cast<std::size_t>(index));
            m_write(changed);
            updateWorth();
        });
    }

    auto* quantityRow = new QHBoxLayout;
    QLabel* have = rowLabel(QStringLiteral("I have"));
    quantityRow->addWidget(have);
    m_quantity = new QLineEdit(this);
    m_quantity->setObjectName(QStringLiteral("quantity"));
    m_quantity->setPlaceholderText(QStringLiteral("0"));
    m_quantity->setFixedWidth(90);
    m_quantity->setAlignment(Qt::AlignTrailing | Qt::AlignVCenter);
    m_quantity->setAccessibleName(metal.displayName() + QStringLiteral(" quantity"));
    m_quantity->setValidator(new UnsignedQuantity(m_quantity));
    showQuantity();
    have->setBuddy(m_quantity);
    quantityRow->addWidget(m_quantity);
    m_unit = new SegmentedChooser(unitLabels(), this, unitLabels(false));
    m_unit->setAccessibleName(metal.displayName() + QStringLiteral(" unit"));
    m_unit->setCurrentIndex(static_cast<int>(entry.unit.index()));
    quantityRow->addWidget(m_unit);
    quantityRow->addStretch(1);
    column->addLayout(quantityRow);
    // Only the user's edits are written: filling the field above must not round what is stored.
    connect(m_quantity, &QLineEdit::textEdited, this, &VaultMetalCard::quantityEdited);
    connect(m_unit, &SegmentedChooser::activated, this, [this](int index) {
        VaultEntry changed = m_read();
        changed.unit = MetalUnit::allCases().at(static_cast<std::size_t>(index));
        m_write(changed);
        updateWorth();
    });

    auto* worthRow = new QHBoxLayout;
    worthRow->addWidget(rowLabel(QStringLiteral("Worth")));
    m_worth = new QLabel(this);
    m_worth->setObjectName(QStringLiteral("worth"));
    m_worth->setTextInteractionFlags(Qt::TextSelectableByMouse);
    worthRow->addWidget(m_worth);
    worthRow->addStretch(1);
    column->addLayout(worthRow);

    updateWorth();
}

void VaultMetalCard::quantityEdited(const QString& text) {
    VaultEntry changed = m_read();
    changed.quantity = QuantityText::parse(text, m_locale);
    m_write(changed);
    updateWorth();
}

void VaultMetalCard::showQuantity() {
    m_quantity->setReadOnly(m_discreet);
    if (m_discreet) {
        // Even an empty vault shows the mask: "nothing held" is a holding too.
        m_quantity->setText(PriceFormatter::kMask);
        m_quantity->setToolTip(QStringLiteral("Hidden in discreet mode; turn it off to edit"));
        return;
    }
    m_quantity->setToolTip({});
    // Shown only when there is something: an empty field lets the placeholder say 0. A negative
    // quantity from the file counts as nothing held, yet shows as stored.
    const Decimal quantity = m_read().quantity;
    m_quantity->setText(quantity.isZero() ? QString() : QuantityText::format(quantity, m_locale));
}

void VaultMetalCard::setDiscreet(bool on) {
    if (on == m_discreet) {
        return;
    }
    m_discreet = on;
    showQuantity();
    updateWorth();
}

void VaultMetalCard::setPrice(const std::optional<MetalPriceTick>& tick, Currency currency) {
    m_tick = tick;
    m_currency = currency;
    m_price->setText(tick ? PriceFormatter::full(tick->value(), currency, m_locale) +
                                QStringLiteral(" / oz")
                          : QString());
    updateWorth();
}

QString VaultMetalCard::priceText() const {
    return m_price->text();
}

QString VaultMetalCard::worthText() const {
    return m_worth->text();
}

void VaultMetalCard::updateWorth() {
    if (m_tick) {
        m_worth->setText(m_discreet ? PriceFormatter::masked(m_currency, m_locale)
                                    : PriceFormatter::full(m_read().value(m_metal, *m_tick),
                                                           m_currency, m_locale));
        m_worth->setFont(scaled(font(), 1.0, true));
    } else {
        m_worth->setText(QString(kEmDash));
        m_worth->setFont(font());
    }
    applyColors();
}

void VaultMetalCard::applyColors() {
    const QPalette base = palette();
    const QColor secondary = base.color(QPalette::PlaceholderText);
    for (QLabel* label : m_secondary) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, secondary);
        label->setPalette(p);
    }
    QPalette worth = m_worth->palette();
    worth.setColor(QPalette::WindowText, m_tick ? base.color(QPalette::WindowText) : secondary);
    m_worth->setPalette(worth);
    // The field would vanish into a card of its own colour (dark themes draw its frame in
    // nearly that colour too): a shade of the text colour sets it apart in either theme.
    QPalette field = m_quantity->palette();
    const QColor card = base.color(QPalette::Base);
    const QColor ink = base.color(QPalette::Text);
    const float mix = 0.06F;
    field.setColor(QPalette::Base,
                   QColor::fromRgbF(card.redF() + (ink.redF() - card.redF()) * mix,
                                    card.greenF() + (ink.greenF() - card.greenF()) * mix,
                                    card.blueF() + (ink.blueF() - card.blueF()) * mix));
    m_quantity->setPalette(field);
}

void VaultMetalCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(card, palette().color(QPalette::Base));
    QColor edge = palette().color(QPalette::WindowText);
    edge.setAlphaF(0.08F);
    painter.setPen(edge);
    painter.drawPath(card);
}

void VaultMetalCard::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

}  // namespace mintlux
