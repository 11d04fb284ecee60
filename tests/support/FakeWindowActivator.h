#pragma once

#include "platform/Windows.h"

#include <QList>
#include <QPointer>
#include <QWidget>

namespace mintlux::test {

// Records which windows the code brought forward, without touching the window system.
class FakeWindowActivator : public WindowActivator {
public:
    void makeKeyAndOrderFront(QWidget& window) override { fronted.append(&window); }
    void activateApplication() override { ++applicationActivations; }

    QList<QPointer<QWidget>> fronted;
    int applicationActivations = 0;
};

}  // namespace mintlux::test
