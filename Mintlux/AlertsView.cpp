#include "AlertsView.h"

#include "AlertText.h"
#include "QuantityText.h"
#include "market/Currency.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "persistence/SettingsStore.h"
#include "platform/TitleRenderer.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace mintlux {

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

QFont smaller(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

// The rule's line, and under it, smaller and fainter, where the rule stands.
class RuleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize line = QStyledItemDelegate::sizeHint(option, index);
        return {line.width(), line.height() + QFontMetrics(smaller(option.font)).height() + 2};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.displayAlignment = Qt::AlignLeading | Qt::AlignTop;
        const QFontMetrics hintMetrics(smaller(opt.font));
        // The line sits in the upper part, clear of the hint.
        QStyleOptionViewItem upper(opt);
        upper.rect.setBottom(opt.rect.bottom() - hintMetrics.height());
        const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);
        upper.backgroundBrush = Qt::NoBrush;
        upper.state &= ~QStyle::State_Selected;
        if (opt.state & QStyle::State_Selected) {
            upper.palette.setColor(QPalette::Text, opt.palette.color(QPalette::HighlightedText));
        }
        style->drawControl(QStyle::CE_ItemViewItem, &upper, painter, opt.widget);

        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &upper, opt.widget);
        const QRect hintRect(text.left() + 3, upper.rect.bottom() - 1, text.width() - 6,
                             hintMetrics.height());
        const QString hint = index.data(kStateRole).toString();
        QColor color =
            opt.palette.color((opt.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                   : QPalette::PlaceholderText);
        painter->save();
        painter->setFont(smaller(opt.font));
        painter->setPen(color);
        painter->drawText(hintRect, Qt::AlignLeading | Qt::AlignTop,
                          hintMetrics.elidedText(hint, Qt::ElideRight, hintRect.width()));
        painter->restore();
    }
};

// Says so when there is nothing to list; Delete removes the current rule.
class RuleList : public QListWidget {
public:
    RuleList(std::function<void()> onDelete, QWidget* parent)
        : QListWidget(parent), m_onDelete(std::move(onDelete)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Delete && !selectedItems().isEmpty()) {
            m_onDelete();
            return;
        }
        QListWidget::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QListWidget::paintEvent(event);
        if (count() == 0) {
            QPainter painter(viewport());
            painter.setPen(palette().color(QPalette::PlaceholderText));
            painter.drawText(viewport()->rect(), Qt::AlignCenter,
                             QStringLiteral("No alerts yet. Add one below."));
        }
    }

private:
    std::function<void()> m_onDelete;
};

template <class Vocabulary>
int indexOf(Vocabulary value) {
    return static_cast<int>(value.index());
}

template <class Vocabulary>
Vocabulary at(int index) {
    return Vocabulary::allCases().at(static_cast<std::size_t>(index));
}

}  // namespace

AlertsView::AlertsView(PreferencesStore& preferences, QString locale, QWidget* parent)
    : QWidget(parent),
      m_preferences(preferences),
      m_store(preferences),
      m_locale(std::move(locale)) {
    setObjectName(QStringLiteral("alerts"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 12, 0, 12);
    column->setSpacing(8);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("notificationStatus"));
    m_status->setFont(smaller(font()));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->hide();
    column->addWidget(m_status);

    m_list = new RuleList([this] { deleteCurrent(); }, this);
    m_list->setObjectName(QStringLiteral("rules"));
    m_list->setAccessibleName(QStringLiteral("Alerts"));
    m_list->setItemDelegate(new RuleDelegate(m_list));
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    column->addWidget(m_list, 1);

    auto* form = new QGridLayout;
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(6);
    const auto addField = [&](const QString& label, QWidget* field, int row, int col) {
        auto* text = new QLabel(label, this);
        text->setBuddy(field);
        form->addWidget(text, row, col, Qt::AlignTrailing | Qt::AlignVCenter);
        form->addWidget(field, row, col + 1);
        QString name = label;
        field->setAccessibleName(name.remove(QLatin1Char('&')));
    };

    m_metal = new QComboBox(this);
    m_metal->setObjectName(QStringLiteral("alertMetal"));
    for (const MetalSeries metal : MetalSeries::allCases()) {
        m_metal->addItem(metal.displayName());
    }
    addField(QStringLiteral("&Metal"), m_metal, 0, 0);
    m_condition = new QComboBox(this);
    m_condition->setObjectName(QStringLiteral("condition"));
    m_condition->addItems({QStringLiteral("above"), QStringLiteral("below"),
                           QStringLiteral("up by % today"), QStringLiteral("down by % today")});
    addField(QStringLiteral("&Condition"), m_condition, 0, 2);

    m_level = new QLineEdit(this);
    m_level->setObjectName(QStringLiteral("level"));
    m_level->setAlignment(Qt::AlignTrailing | Qt::AlignVCenter);
    addField(QStringLiteral("&Level"), m_level, 1, 0);
    m_currency = new QComboBox(this);
    m_currency->setObjectName(QStringLiteral("alertCurrency"));
    for (const Currency currency : Currency::allCases()) {
        m_currency->addItem(currency.rawValue() + QStringLiteral(" \u2014 ") +
                            currency.displayName());
    }
    addField(QStringLiteral("C&urrency"), m_currency, 1, 2);

    m_unit = new QComboBox(this);
    m_unit->setObjectName(QStringLiteral("alertUnit"));
    for (const MetalUnit unit : MetalUnit::allCases()) {
        m_unit->addItem(QStringLiteral("per ") + unit.displayLabel(false));
    }
    addField(QStringLiteral("U&nit"), m_unit, 2, 0);
    m_repeating = new QCheckBox(QStringLiteral("&Repeat"), this);
    m_repeating->setObjectName(QStringLiteral("repeating"));
    m_repeating->setToolTip(QStringLiteral("Alert on every crossing, not only the first"));
    form->addWidget(m_repeating, 2, 3, Qt::AlignLeading | Qt::AlignVCenter);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    column->addLayout(form);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("levelError"));
    m_error->setFont(smaller(font()));
    m_error->setWordWrap(true);
    actions->addWidget(m_error, 1);
    m_new = new QPushButton(QStringLiteral("Ne&w"), this);
    m_new->setObjectName(QStringLiteral("newAlert"));
    m_new->setAccessibleName(QStringLiteral("New alert"));
    m_delete = new QPushButton(QStringLiteral("&Delete"), this);
    m_delete->setObjectName(QStringLiteral("deleteAlert"));
    m_delete->setAccessibleName(QStringLiteral("Delete alert"));
    m_submit = new QPushButton(QStringLiteral("&Add"), this);
    m_submit->setObjectName(QStringLiteral("submitAlert"));
    actions->addWidget(m_new);
    actions->addWidget(m_delete);
    actions->addWidget(m_submit);
    column->addLayout(actions);

    connect(m_condition, &QComboBox::currentIndexChanged, this, &AlertsView::conditionChanged);
    connect(m_level, &QLineEdit::returnPressed, this, &AlertsView::submit);
    connect(m_level, &QLineEdit::textEdited, this, &AlertsView::clearError);
    connect(m_submit, &QPushButton::clicked, this, &AlertsView::submit);
    connect(m_new, &QPushButton::clicked, this, &AlertsView::startNewRule);
    connect(m_delete, &QPushButton::clicked, this, &AlertsView::deleteCurrent);
    connect(m_list, &QListWidget::itemChanged, this, &AlertsView::enabledToggled);
    // The selection, not the current row: the list makes its first row current when the
    // keyboard enters it, which must not turn the form from adding into changing that rule.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_list->selectedItems();
        selectionChanged(selected.isEmpty() ? nullptr : selected.first());
    });

    resetForm();
    syncList();
    applyColors();
    const QPointer<AlertsView> weak(this);
    m_observer = m_preferences.addObserver(this, [weak] {
        if (weak) {
            weak->syncList();
        }
    });
}

AlertsView::~AlertsView() {
    m_preferences.removeObserver(m_observer);
}

void AlertsView::setNotificationStatus(std::function<QString()> status) {
    m_statusProvider = std::move(status);
    refreshStatus();
}

void AlertsView::refreshStatus() {
    const QString text = m_statusProvider ? m_statusProvider() : QString();
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

QString AlertsView::statusText() const {
    return m_status->isHidden() ? QString() : m_status->text();
}

QString AlertsView::errorText() const {
    return m_error->text();
}

void AlertsView::syncList() {
    const std::vector<AlertRule> rules = m_store.rules();
    const Instant now = std::chrono::system_clock::now();
    const QSignalBlocker blocker(m_list);
    // The same rules in the same order are updated in place, which keeps the scroll position
    // and the keyboard where they are while the monitor writes state.
    bool same = m_list->count() == static_cast<int>(rules.size());
    for (int i = 0; same && i < m_list->count(); ++i) {
        same = m_list->item(i)->data(kIdRole).toString() == rules[static_cast<std::size_t>(i)].id;
    }
    if (!same) {
        m_list->clear();
    }
    bool editedExists = false;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const AlertRule& rule = rules[i];
        QListWidgetItem* item =
            same ? m_list->item(static_cast<int>(i)) : new QListWidgetItem(m_list);
        const QString line = AlertText::line(rule, m_locale);
        const QString state = AlertText::state(rule, now, m_locale);
        item->setText(line);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(rule.enabled ? Qt::Checked : Qt::Unchecked);
        item->setData(kIdRole, rule.id);
        item->setData(kStateRole, state);
        item->setData(Qt::AccessibleTextRole, line);
        item->setData(Qt::AccessibleDescriptionRole, state);
        item->setToolTip(line + QLatin1Char('\n') + state);
        if (rule.id == m_editing) {
            if (!same) {
                m_list->setCurrentItem(item);
            }
            editedExists = true;
        }
    }
    // Deleted elsewhere: there is nothing left to change.
    if (!m_editing.isEmpty() && !editedExists) {
        resetForm();
    }
}

void AlertsView::resetForm() {
    const SettingsSnapshot settings = SettingsStore(m_preferences).snapshot();
    m_editing.clear();
    m_shownLevel.clear();
    {
        const QSignalBlocker blocker(m_list);
        m_list->setCurrentItem(nullptr);
        m_list->clearSelection();
    }
    m_metal->setCurrentIndex(indexOf(settings.primaryMetal()));
    m_condition->setCurrentIndex(indexOf(AlertCondition(AlertCondition::above)));
    m_level->clear();
    m_currency->setCurrentIndex(indexOf(settings.displayCurrency()));
    m_unit->setCurrentIndex(indexOf(MetalUnit(MetalUnit::troyOunce)));
    m_repeating->setChecked(false);
    m_submit->setText(QStringLiteral("&Add"));
    m_submit->setAccessibleName(QStringLiteral("Add alert"));
    m_delete->setEnabled(false);
    clearError();
    conditionChanged();
}

void AlertsView::startNewRule() {
    resetForm();
    focusLevel();
}

void AlertsView::focusLevel() {
    m_level->setFocus(Qt::OtherFocusReason);
    m_level->selectAll();
}

void AlertsView::load(const AlertRule& rule) {
    m_editing = rule.id;
    m_metal->setCurrentIndex(indexOf(rule.metal));
    m_condition->setCurrentIndex(indexOf(rule.condition));
    m_shownLevel = QuantityText::format(rule.level, m_locale);
    m_level->setText(m_shownLevel);
    m_currency->setCurrentIndex(indexOf(rule.currency));
    m_unit->setCurrentIndex(indexOf(rule.unit));
    m_repeating->setChecked(rule.repeating);
    m_submit->setText(QStringLiteral("S&ave"));
    m_submit->setAccessibleName(QStringLiteral("Save alert"));
    m_delete->setEnabled(true);
    clearError();
}

void AlertsView::conditionChanged() {
    const bool percent =
        m_condition->currentIndex() >= indexOf(AlertCondition(AlertCondition::upBy));
    // A percentage has no weight to be per.
    m_unit->setEnabled(!percent);
    m_level->setPlaceholderText(percent ? QStringLiteral("Percent") : QStringLiteral("Price"));
}

std::optional<Decimal> AlertsView::readLevel() {
    const bool percent =
        m_condition->currentIndex() >= indexOf(AlertCondition(AlertCondition::upBy));
    const QString what = percent ? QStringLiteral("percentage") : QStringLiteral("price");
    QString text = m_level->text().trimmed();
    if (percent) {
        while (text.endsWith(QLatin1Char('%')) || text.endsWith(QChar(0x066A))) {
            text = text.chopped(1).trimmed();
        }
    }
    if (text.isEmpty()) {
        showError(QStringLiteral("Enter a ") + what + QLatin1Char('.'));
        return std::nullopt;
    }
    const std::optional<Decimal> level = QuantityText::parseAmount(text, m_locale);
    if (!level) {
        showError(QStringLiteral("\u201C") + text + QStringLiteral("\u201D is not a number."));
        return std::nullopt;
    }
    if (*level <= Decimal(0)) {
        showError(QStringLiteral("Enter a ") + what + QStringLiteral(" above zero."));
        return std::nullopt;
    }
    return level;
}

void AlertsView::submit() {
    const std::optional<Decimal> level = readLevel();
    if (!level) {
        return;
    }
    AlertRule rule;
    std::optional<AlertRule> stored;
    if (m_editing.isEmpty()) {
        rule.id = AlertStore::newId();
    } else {
        // Fresh from the store, so the state the monitor wrote meanwhile is kept.
        stored = m_store.rule(m_editing);
        if (!stored) {
            resetForm();
            showError(QStringLiteral("That alert was deleted meanwhile."));
            syncList();
            return;
        }
        rule = *stored;
    }
    rule.metal = at<MetalSeries>(m_metal->currentIndex());
    rule.condition = at<AlertCondition>(m_condition->currentIndex());
    if (!stored || m_level->text() != m_shownLevel) {
        rule.level = *level;
    }
    rule.currency = at<Currency>(m_currency->currentIndex());
    rule.unit = at<MetalUnit>(m_unit->currentIndex());
    rule.repeating = m_repeating->isChecked();
    // A rule that now watches something else starts over: an armed state or a firing belongs
    // to what it watched before.
    if (stored && (rule.metal != stored->metal || rule.condition != stored->condition ||
                   rule.level != stored->level || rule.currency != stored->currency ||
                   rule.unit != stored->unit)) {
        rule.resetState();
    }
    m_store.put(rule);
    clearError();
    if (stored) {
        m_shownLevel = QuantityText::format(rule.level, m_locale);
        m_level->setText(m_shownLevel);
    } else {
        // Ready for the next level of the same kind.
        m_level->clear();
    }
    syncList();
}

void AlertsView::showError(const QString& message) {
    m_error->setText(message);
    m_level->setAccessibleDescription(message);
    QAccessibleEvent changed(m_level, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    QAccessibleEvent alert(m_error, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    focusLevel();
}

void AlertsView::clearError() {
    m_error->clear();
    m_level->setAccessibleDescription(QString());
}

void AlertsView::enabledToggled(QListWidgetItem* item) {
    std::optional<AlertRule> rule = m_store.rule(item->data(kIdRole).toString());
    if (!rule) {
        QMetaObject::invokeMethod(this, &AlertsView::syncList, Qt::QueuedConnection);
        return;
    }
    const bool enabled = item->checkState() == Qt::Checked;
    if (rule->enabled == enabled) {
        return;
    }
    rule->enabled = enabled;
    // Switched back on, it looks at the price afresh rather than firing on an old crossing.
    if (enabled) {
        rule->resetState();
    }
    m_store.put(*rule);
    // In place: this runs inside the list's own change signal, where a rebuild would delete
    // the item under it. The store's notification brings the rest.
    const QSignalBlocker blocker(m_list);
    const QString state = AlertText::state(*rule, std::chrono::system_clock::now(), m_locale);
    item->setData(kStateRole, state);
    item->setData(Qt::AccessibleDescriptionRole, state);
}

void AlertsView::selectionChanged(QListWidgetItem* item) {
    const std::optional<AlertRule> rule =
        item ? m_store.rule(item->data(kIdRole).toString()) : std::nullopt;
    if (rule) {
        load(*rule);
    } else {
        resetForm();
    }
}

void AlertsView::deleteCurrent() {
    const QListWidgetItem* item = m_list->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return;
    }
    m_store.remove(item->data(kIdRole).toString());
    const int row = m_list->currentRow();
    resetForm();
    syncList();
    // The keyboard stays in the list, on the rule that took the deleted one's place.
    if (m_list->count() > 0) {
        m_list->setCurrentRow(std::min(row, m_list->count() - 1));
    }
}

void AlertsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // "fired 14:32" becomes a date after midnight; the notifier may have come or gone.
    syncList();
    refreshStatus();
}

void AlertsView::applyColors() {
    const QPalette& p = palette();
    const TitleColors colors =
        TitleColors::forBackground(p.color(QPalette::Window), p.color(QPalette::WindowText));
    QPalette error = m_error->palette();
    error.setColor(QPalette::WindowText, colors.negative);
    m_error->setPalette(error);
    QPalette status = m_status->palette();
    status.setColor(QPalette::WindowText, p.color(QPalette::PlaceholderText));
    m_status->setPalette(status);
}

void AlertsView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

}  // namespace mintlux
