#include "PrivateBus.h"
#include "Xvfb.h"

#include <QApplication>

#include <gtest/gtest.h>

// Everything here runs on a virtual X server of its own, with the xcb platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    mintlux::test::Xvfb xvfb;
    qputenv("DISPLAY", xvfb.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    mintlux::test::ensurePrivateSessionBus();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    mintlux::test::stopPrivateSessionBus();
    return result;
}
