#include "SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

namespace mintlux {

namespace {

// The style's own checked tool button is hard to tell from an unchecked one; segments need the
// selection to stand out and the keyboard focus to show. Palette roles keep both themes right.
const char* const kStyle = R"(
QToolButton {
    padding: 3px 10px;
    border: 1px solid palette(mid);
    border-left: none;
    background: palette(button);
    color: palette(button-text);
}
QToolButton[segment="first"] {
    border-left: 1px solid palette(mid);
    border-top-left-radius: 5px;
    border-bottom-left-radius: 5px;
}
QToolButton[segment="last"] {
    border-top-right-radius: 5px;
    border-bottom-right-radius: 5px;
}
QToolButton:checked {
    background: palette(highlight);
    color: palette(highlighted-text);
}
QToolButton:focus {
    border: 1px solid palette(highlight);
    text-decoration: underline;
}
)";

}  // namespace

SegmentedControl::SegmentedControl(const QString& title, const QList<Segment>& segments,
                                   int selected, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)) {
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < segments.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(segments[i].label);
        button->setAccessibleName(segments[i].accessibleName);
        button->setToolTip(segments[i].accessibleName);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setMinimumWidth(44);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        if (i == 0) {
            button->setProperty("segment", QStringLiteral("first"));
        } else if (i == segments.size() - 1) {
            button->setProperty("segment", QStringLiteral("last"));
        }
        m_group->addButton(button, i);
        row->addWidget(button);
    }
    setStyleSheet(QString::fromLatin1(kStyle));
    setSelectedIndex(selected);
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::selectionChanged);
}

int SegmentedControl::selectedIndex() const {
    return m_group->checkedId();
}

void SegmentedControl::setSelectedIndex(int index) {
    if (QAbstractButton* button = m_group->button(index)) {
        button->setChecked(true);
    }
}

QAbstractButton* SegmentedControl::segment(int index) const {
    return m_group->button(index);
}

int SegmentedControl::count() const {
    return static_cast<int>(m_group->buttons().size());
}

}  // namespace mintlux
