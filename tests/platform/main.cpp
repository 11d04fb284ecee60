#include "PrivateBus.h"

#include <QApplication>

#include <gtest/gtest.h>

#ifdef MINTLUX_TEST_XVFB
#include "Xvfb.h"
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
#ifdef MINTLUX_TEST_XVFB
    // The X11 tests run on a virtual X server of their own, with the xcb platform.
    mintlux::test::Xvfb xvfb;
    qputenv("DISPLAY", xvfb.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
#else
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    // Before anything touches D-Bus: every test talks to a bus of its own, never the desktop's.
    mintlux::test::ensurePrivateSessionBus();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    mintlux::test::stopPrivateSessionBus();
    return result;
}
