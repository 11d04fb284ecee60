#pragma once

#include "platform/StatusItem.h"

#include <QList>

namespace mintlux::test {

// Records what the application shows and lets a test click the item or its menu.
class FakeStatusItem : public StatusItem {
public:
    void setStyledTitle(const StyledTitle& title) override {
        m_title = title;
        titles.append(title);
    }
    StyledTitle title() const override { return m_title; }
    QRect anchorRect() const override { return anchor; }
    Presence presence() const override { return Presence::shown; }

    void click(QPoint at = {}) { activate(at); }
    void chooseShowPrices() { requestShowPrices(); }
    void chooseQuit() { requestQuit(); }
    void chooseDiscreet() { requestDiscreet(!isDiscreetChecked()); }

    void toolTipTextChanged(Announce announce) override {
        announced += announce == Announce::yes ? 1 : 0;
    }

    QRect anchor;
    QList<StyledTitle> titles;  // every title set, in order
    int announced = 0;          // tooltip changes the hosts were told of

private:
    StyledTitle m_title;
};

}  // namespace mintlux::test
