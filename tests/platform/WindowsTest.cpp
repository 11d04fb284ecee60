#include "Wait.h"
#include "platform/MainLoopTimer.h"
#include "platform/Windows.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::waitFor;

TEST(Windows, CentredRectStaysInsideTheAvailableArea) {
    struct Case {
        const char* name;
        QSize size;
        QRect available;
        QRect expected;
    };
    for (const Case& c : {
             Case{"fits", QSize(400, 300), QRect(0, 0, 1920, 1080), QRect(760, 390, 400, 300)},
             Case{"second screen with a top panel", QSize(400, 300), QRect(1920, 28, 1280, 996),
                  QRect(2360, 376, 400, 300)},
             Case{"larger than the area: top-left kept visible", QSize(2000, 1200),
                  QRect(0, 28, 1920, 1052), QRect(0, 28, 2000, 1200)},
         }) {
        EXPECT_EQ(centredRect(c.size, c.available), c.expected) << c.name;
    }
}

TEST(Windows, ConfiguredWindowIsCentredKeptOnCloseNeverQuitsTheApplicationAndSwapsContentWhole) {
    QPointer<QWidget> window = new QWidget;
    configureWindow(*window, {QStringLiteral("Vault"), QSize(480, 520), false, {}});

    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vault"));
    EXPECT_EQ(window->size(), QSize(480, 520));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";
    const auto hints =
        Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    EXPECT_EQ(window->windowFlags() & hints, hints);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->frameGeometry().center(), available.center());

    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QtWindowActivator().makeKeyAndOrderFront(*window);
    EXPECT_TRUE(waitFor([&] { return window->isActiveWindow(); }));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull()) << "closing only hides the window for reuse";
    EXPECT_FALSE(window->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(quitting.count(), 0);

    QtWindowActivator().makeKeyAndOrderFront(*window);
    EXPECT_TRUE(window->isVisible());

    // Content is replaced whole.
    auto first = std::make_unique<QLabel>(QStringLiteral("first"));
    QPointer<QWidget> old = first.get();
    setWindowContent(*window, std::move(first));
    auto second = std::make_unique<QLabel>(QStringLiteral("second"));
    QPointer<QWidget> fresh = second.get();
    setWindowContent(*window, std::move(second));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    ASSERT_FALSE(fresh.isNull());
    EXPECT_TRUE(fresh->isVisible());
    EXPECT_EQ(window->findChildren<QLabel*>().size(), 1);
    delete window.data();
}

TEST(Windows, ActivatingTheApplicationGivesAVisibleWindowTheFocus) {
    QWidget window;
    QWidget transient;
    configureWindow(window, {QStringLiteral("Vault"), QSize(200, 100), false, {}});
    window.show();
    transient.show();
    transient.activateWindow();
    ASSERT_TRUE(waitFor([&] { return transient.isActiveWindow(); }));
    transient.hide();  // the application no longer has the keyboard
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == nullptr; }));

    QtWindowActivator().activateApplication();
    EXPECT_TRUE(waitFor([&] { return window.isActiveWindow(); }));
}

TEST(MainLoopTimer, DeliversTheFireTimeUntilStopped) {
    const auto fixed = RepeatingTimer::Clock::time_point(std::chrono::hours(500000));
    MainLoopTimer timer([&] { return fixed; });
    std::vector<RepeatingTimer::Clock::time_point> ticks;
    timer.start(std::chrono::milliseconds(5), [&](auto at) { ticks.push_back(at); });
    EXPECT_TRUE(timer.isActive());
    ASSERT_TRUE(waitFor([&] { return ticks.size() >= 2; }));
    EXPECT_EQ(ticks.front(), fixed);

    timer.stop();
    EXPECT_FALSE(timer.isActive());
    const size_t count = ticks.size();
    QTest::qWait(30);
    EXPECT_EQ(ticks.size(), count);

    std::vector<int> restarted;
    timer.start(std::chrono::milliseconds(5), [&](auto) { restarted.push_back(1); });
    ASSERT_TRUE(waitFor([&] { return !restarted.empty(); }));
    EXPECT_EQ(ticks.size(), count) << "a restart replaces the old callback";
}
