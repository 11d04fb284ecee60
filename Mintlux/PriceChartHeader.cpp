#include "PriceChartHeader.h"

#include "BusyIndicator.h"
#include "PriceFormatter.h"
#include "TabularFigures.h"
#include "platform/TitleRenderer.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace mintlux {

namespace {

QFont scaled(const QFont& base, qreal factor, bool bold = false) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

}  // namespace

PriceChartHeader::PriceChartHeader(MetalSeries metal, QWidget* parent) : QWidget(parent) {
    auto* header = new QHBoxLayout(this);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(12);
    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    m_title = new QLabel(
        metal.displayName() + QStringLiteral(" (") + metal.symbolForUI() + QLatin1Char(')'), this);
    m_title->setObjectName(QStringLiteral("chartTitle"));
    m_title->setFont(scaled(font(), 1.6, true));
    m_subtitle = new QLabel(this);
    m_subtitle->setObjectName(QStringLiteral("chartSubtitle"));
    m_subtitle->setFont(scaled(font(), 0.85));
    left->addWidget(m_title);
    left->addWidget(m_subtitle);
    left->addStretch(1);
    header->addLayout(left);
    header->addStretch(1);

    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    m_price = new QLabel(this);
    m_price->setObjectName(QStringLiteral("chartPrice"));
    m_price->setFont(TabularFigures::font(scaled(font(), 1.6, true)));
    m_price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_price->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_change = new QLabel(this);
    m_change->setObjectName(QStringLiteral("chartChange"));
    m_change->setFont(TabularFigures::font(scaled(font(), 0.85)));
    m_change->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_spinner = new BusyIndicator(16, this);
    right->addWidget(m_price, 0, Qt::AlignRight);
    right->addWidget(m_change, 0, Qt::AlignRight);
    right->addWidget(m_spinner, 0, Qt::AlignRight);
    right->addStretch(1);
    header->addLayout(right);
    applyColors();
}

void PriceChartHeader::setSubtitle(const QString& text) {
    m_subtitle->setText(text);
}

void PriceChartHeader::setPrice(const std::optional<QString>& price, bool loading) {
    m_price->setVisible(price.has_value());
    m_spinner->setVisible(!price && loading);
    if (price) {
        m_price->setText(*price);
    }
}

void PriceChartHeader::setChange(const std::optional<Decimal>& percent, TimeRange range) {
    m_change->setVisible(percent.has_value());
    if (!percent) {
        return;
    }
    m_negativeChange = *percent < Decimal(0);
    m_change->setText((m_negativeChange ? QStringLiteral("\u25BC ") : QStringLiteral("\u25B2 ")) +
                      PriceFormatter::percent(m_negativeChange ? -*percent : *percent) +
                      QStringLiteral(" over ") + range.displayLabel());
    applyColors();
}

QString PriceChartHeader::titleText() const {
    return m_title->text();
}

QString PriceChartHeader::subtitleText() const {
    return m_subtitle->text();
}

QString PriceChartHeader::priceText() const {
    return m_price->isHidden() ? QString() : m_price->text();
}

QString PriceChartHeader::changeText() const {
    return m_change->isHidden() ? QString() : m_change->text();
}

QColor PriceChartHeader::changeColor() const {
    return m_change->palette().color(QPalette::WindowText);
}

bool PriceChartHeader::spinnerShown() const {
    return !m_spinner->isHidden();
}

void PriceChartHeader::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void PriceChartHeader::applyColors() {
    const QPalette base = palette();
    const TitleColors colors =
        TitleColors::forBackground(base.color(QPalette::Window), base.color(QPalette::WindowText));
    QPalette subtitle = m_subtitle->palette();
    subtitle.setColor(QPalette::WindowText, base.color(QPalette::PlaceholderText));
    m_subtitle->setPalette(subtitle);
    QPalette change = m_change->palette();
    change.setColor(QPalette::WindowText, m_negativeChange ? colors.negative : colors.positive);
    m_change->setPalette(change);
}

}  // namespace mintlux
