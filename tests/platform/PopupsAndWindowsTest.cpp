#include "Wait.h"
#include "platform/MainLoopTimer.h"
#include "platform/Popover.h"
#include "platform/PopoverPlacement.h"
#include "platform/Windows.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::waitFor;

namespace {

struct Content {
    std::unique_ptr<QWidget> widget = std::make_unique<QWidget>();
    QPointer<QLineEdit> field;

    Content() {
        auto* layout = new QVBoxLayout(widget.get());
        layout->addWidget(new QLabel(QStringLiteral("Gold")));
        field = new QLineEdit;
        layout->addWidget(field);
    }
};

QList<ScreenArea> screens() {
    QList<ScreenArea> out;
    for (const QScreen* s : QGuiApplication::screens()) {
        out.append({s->geometry(), s->availableGeometry()});
    }
    return out;
}

class PopoverTest : public ::testing::TestWithParam<Popover::Kind> {
protected:
    void SetUp() override {
        popover.setClock([this] { return now; });
        Content c;
        field = c.field;
        popover.setContent(std::move(c.widget));
    }

    QRect topRightItem() const {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        return QRect(screen.right() - 60, screen.top(), 40, 20);
    }

    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    Popover popover{GetParam()};
    QPointer<QLineEdit> field;
};

const QSize kPopover(320, 360);
const QRect kFullHd(0, 0, 1920, 1080);

struct Case {
    QRect anchor;
    QList<ScreenArea> screens;
    QPoint at;  // where the popover's top-left corner goes
    PopoverEdge edge;
    QSize size = kPopover;
};

constexpr auto below = PopoverEdge::below, above = PopoverEdge::above, left = PopoverEdge::left,
               right = PopoverEdge::right;

class PopoverPlacementTest : public ::testing::TestWithParam<Case> {};

const ScreenArea topPanel{kFullHd, QRect(0, 28, 1920, 1052)};
const ScreenArea bottomPanel{kFullHd, QRect(0, 0, 1920, 1040)};
const ScreenArea leftPanel{kFullHd, QRect(48, 0, 1872, 1080)};
const ScreenArea rightPanel{kFullHd, QRect(0, 0, 1872, 1080)};
const ScreenArea noPanelInfo{kFullHd, kFullHd};
const ScreenArea rightScreen{QRect(1920, 0, 1280, 1024), QRect(1920, 28, 1280, 996)};
const ScreenArea leftScreen{QRect(-1280, 0, 1280, 1024), QRect(-1280, 28, 1280, 996)};

const Case kCases[] = {
    // Top panel: below, centred on the item.
    {{1000, 2, 80, 24}, {topPanel}, {880, 30}, below},
    // Top panel, item at the right edge: pushed left inside the screen.
    {{1880, 2, 40, 24}, {topPanel}, {1600, 30}, below},
    // Top panel, item at the left edge: pushed right.
    {{0, 2, 40, 24}, {topPanel}, {0, 30}, below},
    // Bottom panel: above, clear of the panel.
    {{1000, 1045, 60, 30}, {bottomPanel}, {870, 680}, above},
    // Left panel: to the right, clear of the panel.
    {{8, 500, 32, 32}, {leftPanel}, {48, 500}, right},
    // Right panel near the bottom: to the left, lifted inside.
    {{1880, 900, 32, 32}, {rightPanel}, {1552, 720}, left},
    // Click point without panel information: below it.
    {{1700, 10, 1, 1}, {noPanelInfo}, {1540, 15}, below},
    // Click point at the bottom without panel information: above it.
    {{900, 1070, 1, 1}, {noPanelInfo}, {740, 706}, above},
    // Item on the second screen stays on that screen.
    {{3100, 2, 60, 24}, {topPanel, rightScreen}, {2880, 30}, below},
    // Screen left of the primary, negative coordinates.
    {{-100, 2, 40, 24}, {topPanel, leftScreen}, {-320, 30}, below},
    // Item straddling two screens belongs to the one holding its centre.
    {{1900, 2, 60, 24}, {topPanel, rightScreen}, {1920, 30}, below},
    // Anchor right of every screen: beside it on the nearest one.
    {{3300, 500, 10, 10}, {topPanel, rightScreen}, {2880, 500}, left},
    // Unknown anchor: top-right corner of the primary screen.
    {{}, {topPanel, rightScreen}, {1596, 32}, below},
    // Taller than the screen: top edge kept visible.
    {{1000, 2, 80, 24}, {topPanel}, {880, 28}, below, {320, 2000}},
    // No screens at all: under the anchor.
    {{10, 10, 20, 20}, {}, {10, 34}, below}};

}  // namespace

TEST_P(PopoverTest, OpensAtItsPlacementWithContentSizeAndTheKeyboardNewContentAndEscape) {
    QPointer<QWidget> old = popover.content();
    QSignalSpy shown(&popover, &Popover::shownChanged);
    popover.show(topRightItem());

    ASSERT_TRUE(popover.isShown());
    EXPECT_EQ(popover.window()->size(), QSize(320, 360));
    EXPECT_EQ(popover.window()->pos(),
              placePopover(topRightItem(), QSize(320, 360), screens()).frame.topLeft());
    ASSERT_EQ(shown.count(), 1);
    EXPECT_TRUE(shown.at(0).at(0).toBool());
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == field.data(); }))
        << "the first control has the focus as soon as the popover opens";

    Content replacement;
    QPointer<QWidget> fresh = replacement.widget.get();
    QPointer<QLineEdit> freshField = replacement.field;
    popover.setContent(std::move(replacement.widget));
    EXPECT_EQ(popover.content(), fresh.data());
    EXPECT_TRUE(fresh->isVisible());
    EXPECT_FALSE(old->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull()) << "whatever the old view held is discarded";
    EXPECT_EQ(popover.window()->findChildren<QLineEdit*>().size(), 1);
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == freshField.data(); }));

    QTest::keyClick(freshField.data(), Qt::Key_Escape);
    EXPECT_FALSE(popover.isShown());
}

TEST_P(PopoverTest, ToggleAndClosingByItselfAndTheClickThatCausedIt) {
    QSignalSpy shown(&popover, &Popover::shownChanged);
    popover.toggle(topRightItem());
    EXPECT_TRUE(popover.isShown());
    popover.toggle(topRightItem());
    EXPECT_FALSE(popover.isShown());
    popover.toggle(topRightItem());
    EXPECT_TRUE(popover.isShown()) << "a close we asked for does not swallow the next click";
    EXPECT_EQ(shown.count(), 3);

    QWidget elsewhere;
    elsewhere.setGeometry(10, 300, 200, 100);
    ASSERT_TRUE(waitFor([&] { return popover.window()->isActiveWindow(); }));

    if (GetParam() == Popover::Kind::popup) {
        QTest::mouseClick(popover.window(), Qt::LeftButton, {}, QPoint(-40, 200));
    } else {
        elsewhere.show();
        elsewhere.activateWindow();
    }
    ASSERT_TRUE(waitFor([&] { return !popover.isShown(); }));

    popover.toggle(topRightItem());
    if (GetParam() == Popover::Kind::focusDialog) {
        // Without a pointer grab, the click that took the focus away goes on to the status
        // item, whose activation arrives next: it must not reopen the popover.
        EXPECT_FALSE(popover.isShown());
        now += std::chrono::seconds(2);
        popover.toggle(topRightItem());
    }
    EXPECT_TRUE(popover.isShown()) << "the next click opens it again";
}

INSTANTIATE_TEST_SUITE_P(Kinds, PopoverTest,
                         ::testing::Values(Popover::Kind::popup, Popover::Kind::focusDialog),
                         [](const ::testing::TestParamInfo<Popover::Kind>& param) {
                             return param.param == Popover::Kind::popup ? "Popup" : "FocusDialog";
                         });

TEST_P(PopoverPlacementTest, PlacesNextToTheItemInsideTheScreen) {
    const Case& c = GetParam();
    const PopoverPlacement p = placePopover(c.anchor, c.size, c.screens);
    EXPECT_EQ(p.frame, QRect(c.at, c.size));
    EXPECT_EQ(p.edge, c.edge);
}

INSTANTIATE_TEST_SUITE_P(Placements, PopoverPlacementTest, ::testing::ValuesIn(kCases));

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
