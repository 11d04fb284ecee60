#include "PrivateBus.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Texts are checked as a US user in UTC reads them, whatever the machine's settings.
    qputenv("LC_ALL", "en_US.UTF-8");
    qputenv("LANG", "en_US.UTF-8");
    qputenv("TZ", "UTC");
    // The published title is read back from a bus of the tests' own, never the desktop's.
    mintlux::test::ensurePrivateSessionBus();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    mintlux::test::stopPrivateSessionBus();
    return result;
}
