#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QAbstractButton;

namespace mintlux {

// A row of joined, mutually exclusive buttons; exactly one is selected. Each segment is a tab
// stop, the arrow keys move the selection along the row (the button group does that), and the
// row carries an accessible name of its own since it shows no title.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    struct Segment {
        QString label;
        QString accessibleName;
    };

    SegmentedControl(const QString& title, const QList<Segment>& segments, int selected,
                     QWidget* parent = nullptr);

    int selectedIndex() const;
    void setSelectedIndex(int index);
    QAbstractButton* segment(int index) const;
    int count() const;

signals:
    // Only for a change made by the user.
    void selectionChanged(int index);

private:
    QButtonGroup* m_group;
};

}  // namespace mintlux
