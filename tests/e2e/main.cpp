#include <QApplication>

#include <gtest/gtest.h>

// Runs under a virtual X server and a private session bus (xvfb-run, dbus-run-session), so the
// app under test and this process share both and nothing of the desktop's.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
