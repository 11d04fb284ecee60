#include "PrivateBus.h"

#include <cstring>

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    // Before anything touches D-Bus: every test talks to a bus of its own, never the desktop's.
    if (!listing) {
        mintlux::test::ensurePrivateSessionBus();
    }
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    mintlux::test::stopPrivateSessionBus();
    return result;
}
