#include "MetalRow.h"

#include "PopoverIcons.h"
#include "PriceFormatter.h"
#include "TabularFigures.h"
#include "platform/TitleRenderer.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyleOption>
#include <QToolButton>
#include <QVBoxLayout>

namespace mintlux {

namespace {

constexpr QChar kEmDash(0x2014);

// A flat button whose label is a layout of child widgets; it paints only a hover shade.
class RowButton : public QAbstractButton {
public:
    explicit RowButton(QWidget* parent) : QAbstractButton(parent) {
        setAttribute(Qt::WA_Hover);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!underMouse() && !hasFocus() && !isDown()) {
            return;
        }
        QPainter painter(this);
        QColor shade = palette().color(QPalette::Text);
        shade.setAlphaF(isDown() ? 0.14F : 0.07F);
        painter.fillRect(rect(), shade);
    }
    void enterEvent(QEnterEvent* event) override {
        QAbstractButton::enterEvent(event);
        update();
    }
    void leaveEvent(QEvent* event) override {
        QAbstractButton::leaveEvent(event);
        update();
    }
};

QLabel* passiveLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Inside a button a label would take the button's text role, which the colours below
    // do not set.
    label->setForegroundRole(QPalette::WindowText);
    return label;
}

QFont captionFont(const QFont& base, qreal scale) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * scale);
    return font;
}

}  // namespace

MetalRow::MetalRow(MetalSeries metal, bool isPrimary, std::function<void()> onSelect,
                   std::function<void()> onOpenChart, QWidget* parent)
    : QWidget(parent), m_metal(metal), m_isPrimary(isPrimary) {
    setObjectName(QStringLiteral("row-") + metal.rawValue());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    m_select = new RowButton(this);
    m_select->setToolTip(rowHelpText());
    m_select->setAccessibleName(metal.displayName());
    auto* label = new QHBoxLayout(m_select);
    label->setContentsMargins(12, 8, 0, 8);
    label->setSpacing(6);

    auto* symbol = passiveLabel(metal.symbolForUI(), m_select);
    symbol->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    symbol->setFixedWidth(32);
    label->addWidget(symbol);
    label->addWidget(passiveLabel(metal.displayName(), m_select));
    // Takes the pointer only to show its tooltip; a click goes through to the row.
    m_bell = new QLabel(m_select);
    m_bell->setObjectName(QStringLiteral("bell-") + metal.rawValue());
    m_bell->setFixedSize(12, 12);
    m_bell->setForegroundRole(QPalette::WindowText);
    m_bell->hide();
    label->addWidget(m_bell, 0, Qt::AlignVCenter);
    label->addStretch(1);

    auto* priceColumn = new QVBoxLayout;
    priceColumn->setSpacing(2);
    priceColumn->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_price = passiveLabel(QString(kEmDash), m_select);
    m_price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_price->setFont(TabularFigures::font(m_price->font()));
    priceColumn->addWidget(m_price, 0, Qt::AlignRight);

    m_changeLine = new QWidget(m_select);
    m_changeLine->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* changeRow = new QHBoxLayout(m_changeLine);
    changeRow->setContentsMargins(0, 0, 0, 0);
    changeRow->setSpacing(2);
    m_arrow = passiveLabel({}, m_changeLine);
    m_arrow->setFont(captionFont(font(), 0.75));
    m_change = passiveLabel({}, m_changeLine);
    m_change->setFont(captionFont(font(), 0.85));
    changeRow->addWidget(m_arrow);
    changeRow->addWidget(m_change);
    m_changeLine->hide();
    priceColumn->addWidget(m_changeLine, 0, Qt::AlignRight);
    label->addLayout(priceColumn);
    row->addWidget(m_select, 1);

    m_chart = new QToolButton(this);
    m_chart->setObjectName(QStringLiteral("chart-") + metal.rawValue());
    m_chart->setAutoRaise(true);
    m_chart->setToolTip(QStringLiteral("Open chart"));
    m_chart->setAccessibleName(QStringLiteral("Open chart"));
    m_chart->setIconSize(QSize(16, 16));
    m_chart->setContentsMargins(12, 8, 12, 8);
    m_chart->setFixedWidth(40);
    row->addWidget(m_chart);

    connect(m_select, &QAbstractButton::clicked, this, [onSelect = std::move(onSelect)] {
        if (onSelect) {
            onSelect();
        }
    });
    connect(m_chart, &QToolButton::clicked, this, [onOpenChart = std::move(onOpenChart)] {
        if (onOpenChart) {
            onOpenChart();
        }
    });
    applyColors();
    applyIcon();
}

void MetalRow::applyIcon() {
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    m_chart->setIcon(PopoverIcons::icon(PopoverIcons::Kind::chart, secondary));
    m_bell->setPixmap(PopoverIcons::icon(PopoverIcons::Kind::bell, secondary)
                          .pixmap(m_bell->size(), devicePixelRatioF()));
}

void MetalRow::setAlerts(const QStringList& conditions) {
    QStringList lines;
    for (const QString& condition : conditions) {
        lines << QStringLiteral("Alert: ") + condition;
    }
    const QString text = lines.join(QLatin1Char('\n'));
    m_bell->setVisible(!text.isEmpty());
    m_bell->setToolTip(text);
    m_bell->setAccessibleName(text.isEmpty() ? QString() : QStringLiteral("Alerts set"));
    // Said with the row's name by a screen reader, as the bell is not focusable.
    m_select->setAccessibleDescription(lines.join(QStringLiteral("; ")));
}

QString MetalRow::alertsText() const {
    return m_bell->isHidden() ? QString() : m_bell->toolTip();
}

QString MetalRow::rowHelpText() const {
    return m_isPrimary ? QStringLiteral("Currently in menu bar")
                       : QStringLiteral("Show this metal in menu bar");
}

QString MetalRow::priceText() const {
    return m_price->text();
}

QString MetalRow::changeText() const {
    return m_changeLine->isHidden() ? QString() : m_change->text();
}

void MetalRow::setTick(const std::optional<MetalPriceTick>& tick) {
    if (!tick) {
        m_price->setText(QString(kEmDash));
        m_changeLine->hide();
        applyColors();
        return;
    }
    m_price->setText(PriceFormatter::full(tick->value(), tick->currency()));
    const std::optional<Decimal> pct = tick->significantChangePercent();
    if (!pct) {
        m_negative = false;
        m_changeLine->hide();
    } else {
        m_negative = *pct < Decimal(0);
        m_arrow->setText(m_negative ? QStringLiteral("\u2193") : QStringLiteral("\u2191"));
        m_change->setText(PriceFormatter::percent(m_negative ? -*pct : *pct));
        m_changeLine->show();
    }
    applyColors();
}

void MetalRow::applyColors() {
    const QPalette base = palette();
    const bool empty = m_price->text() == QString(kEmDash);
    QPalette price = m_price->palette();
    price.setColor(QPalette::WindowText, empty ? base.color(QPalette::PlaceholderText)
                                               : base.color(QPalette::WindowText));
    m_price->setPalette(price);

    const TitleColors colors =
        TitleColors::forBackground(base.color(QPalette::Window), base.color(QPalette::WindowText));
    QPalette change = m_changeLine->palette();
    change.setColor(QPalette::WindowText, m_negative ? colors.negative : colors.positive);
    m_arrow->setPalette(change);
    m_change->setPalette(change);
}

void MetalRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
        applyIcon();
    }
}

void MetalRow::paintEvent(QPaintEvent*) {
    if (!m_isPrimary) {
        return;
    }
    QPainter painter(this);
    QColor accent = palette().color(QPalette::Highlight);
    accent.setAlphaF(0.15F);
    painter.fillRect(rect(), accent);
}

}  // namespace mintlux
