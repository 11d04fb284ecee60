#include "SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

namespace mintlux {

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
        m_group->addButton(button, i);
        row->addWidget(button);
    }
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
