#include "FakeStatusNotifierWatcher.h"
#include "Pixels.h"
#include "Wait.h"
#include "Xvfb.h"
#include "platform/DesktopStatusItem.h"
#include "platform/Popover.h"
#include "platform/TitleRenderer.h"
#include "platform/TrayWindow.h"
#include "platform/XEmbedStatusItem.h"

#include <functional>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using namespace mintlux::test;
using Presence = StatusItem::Presence;

namespace {

StyledTitle rising() {
    return {QString::fromUtf8("Au $2,346 \u25B21.23%"), {{9, 7, StyledTitle::Role::positive}}};
}

xcb_connection_t* x11() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

template <typename Reply>
std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

// The tray's slot holding the item: the socket window it was reparented into, if any.
xcb_window_t slotOf(const XEmbedStatusItem& item) {
    const auto window = static_cast<xcb_window_t>(item.windowId());
    const auto tree = owned(xcb_query_tree_reply(x11(), xcb_query_tree(x11(), window), nullptr));
    return tree && tree->parent != tree->root ? tree->parent : 0;
}

bool dockedInATray(const XEmbedStatusItem& item) {
    return slotOf(item) != 0;
}

// The window once tray and title agree: the tray's slot is exactly the window, as wide as the
// title asks at the height the tray gives, and on screen. Until then (the tray sizes and places
// its slot in steps) none.
std::optional<QRect> settledGeometry(const XEmbedStatusItem& item) {
    const QRect window = item.anchorRect();
    const auto slot =
        owned(xcb_get_geometry_reply(x11(), xcb_get_geometry(x11(), slotOf(item)), nullptr));
    // A growing right-aligned tray moves left only after it has grown.
    if (window.height() < 16 || !slot || QSize(slot->width, slot->height) != window.size() ||
        !QGuiApplication::primaryScreen()->geometry().contains(window)) {
        return std::nullopt;
    }
    const int wanted =
        TitleRenderer(QApplication::font()).titleWidth(item.title(), window.height());
    return window.width() == wanted ? std::optional(window) : std::nullopt;
}

// Waits for a settled window whose width `accept` takes; null if none comes.
QRect settle(const XEmbedStatusItem& item, const std::function<bool(int)>& accept) {
    QRect settled;
    const bool ok = waitFor([&] {
        settled = settledGeometry(item).value_or(QRect());
        return !settled.isNull() && accept(settled.width());
    });
    return ok ? settled : QRect();
}

// trayer along the top edge, right-aligned, as wide as its icons ask.
std::unique_ptr<DesktopProcess> startTrayer() {
    auto trayer = std::make_unique<DesktopProcess>(
        u"trayer"_s,
        QStringList{"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28",
                    "--SetDockType", "false", "--SetPartialStrut", "false"});
    EXPECT_TRUE(waitFor([] { return XEmbedStatusItem::trayAvailable(); }))
        << trayer->output().toStdString();
    return trayer;
}

// A real click through XTEST, as the user's.
void clickAt(QPoint p, const char* button = "1") {
    DesktopProcess xdotool(u"xdotool"_s, {"mousemove", QString::number(p.x()),
                                          QString::number(p.y()), "click", button});
    EXPECT_TRUE(xdotool.finish());
}

QImage screenshot(const QRect& area, const QString& name) {
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString dir = QDir::current().filePath(u"artifacts"_s);
    QDir().mkpath(dir);
    shot.save(dir + u'/' + name + u".png"_s);
    return shot.toImage().copy(area);
}

StyledTitle falling() {
    return {QString::fromUtf8("Pt $987 \u25BC0.46%"), {{7, 7, StyledTitle::Role::negative}}};
}

// Resizes the window from outside, as a tray resizes the window it embeds.
void resizeLikeATray(QWidget& w, QSize size) {
    const uint32_t values[] = {static_cast<uint32_t>(size.width()),
                               static_cast<uint32_t>(size.height())};
    xcb_configure_window(x11(), static_cast<xcb_window_t>(w.winId()),
                         XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    xcb_flush(x11());
}

// Red pixels in the upper and in the lower half of the rendered window.
std::pair<int, int> redPixels(QWidget& w) {
    const QImage image = w.grab().toImage();
    const int half = image.height() / 2;
    return {countPixels(image, isRed, QRect(0, 0, image.width(), half)),
            countPixels(image, isRed, QRect(0, half, image.width(), half + 1))};
}

}  // namespace

TEST(TrayWindow, AsksForTheTitleWidthAtTheHeightTheTrayGivesAndFitsASquareSlot) {
    TrayWindow window([](QPoint) {}, {});
    window.setTitle(falling());
    const TitleRenderer renderer(window.font());
    EXPECT_EQ(window.size(), QSize(renderer.titleWidth(falling(), 22), 22));
    EXPECT_EQ(window.minimumSize(), window.size()) << "what XEmbed trays read";

    window.show();
    resizeLikeATray(window, QSize(window.width(), 34));  // a taller tray
    ASSERT_TRUE(waitFor([&] { return window.height() == 34; }));
    EXPECT_TRUE(waitFor([&] { return window.width() == renderer.titleWidth(falling(), 34); }));
    EXPECT_TRUE(window.showsWholeTitle());
    const auto [upper, lower] = redPixels(window);
    EXPECT_GT(upper + lower, 10) << "the falling tail is red";

    resizeLikeATray(window, QSize(24, 24));  // a tray that forces squares
    ASSERT_TRUE(waitFor([&] { return window.size() == QSize(24, 24); }));
    EXPECT_FALSE(window.showsWholeTitle());
    const auto [squareUpper, squareLower] = redPixels(window);
    EXPECT_GT(squareLower, 3) << "the red triangle under the symbol";
    EXPECT_EQ(squareUpper, 0) << "no clipped title text";

    window.setTitle({QStringLiteral("Pt $987"), {}});
    EXPECT_EQ(window.width(), renderer.titleWidth(window.title(), 24))
        << "a new title asks for its width again";
}

TEST(XEmbedStatusItem, DocksInATrayStartingLaterOrRestartingAsWideAsItsTitle) {
    ASSERT_FALSE(XEmbedStatusItem::trayAvailable());
    XEmbedStatusItem item;
    item.setTitle(QString::fromUtf8("Au \u2014"));
    QCoreApplication::processEvents();
    EXPECT_EQ(item.presence(), Presence::waiting);
    EXPECT_TRUE(item.anchorRect().isNull());

    auto trayer = startTrayer();
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    EXPECT_TRUE(dockedInATray(item));
    const int placeholder = settle(item, [](int w) { return w > 0; }).width();
    ASSERT_GT(placeholder, 0) << "the tray's slot takes the size the title asks for";

    item.setStyledTitle(rising());
    const QRect anchor = settle(item, [&](int w) { return w > 2 * placeholder; });
    EXPECT_GT(anchor.width(), 3 * anchor.height()) << "the whole title, wider than tall";
    // What the user sees in the tray: the painted title with its green tail.
    EXPECT_TRUE(
        waitFor([&] { return countPixels(screenshot(anchor, u"xembed-trayer"_s), isGreen) > 10; }));

    item.setTitle(u"Ag $29.46"_s);
    EXPECT_FALSE(
        settle(item, [&](int w) { return w > placeholder && w < anchor.width(); }).isNull())
        << "the slot shrinks again with a shorter title";

    trayer.reset();  // the tray quits
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::waiting; }));
    EXPECT_FALSE(dockedInATray(item));
    trayer = startTrayer();
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    EXPECT_TRUE(dockedInATray(item));
}

TEST(XEmbedStatusItem, ClicksOnTheItemToggleAPopoverBelowItARightClickOpensItsMenu) {
    auto trayer = startTrayer();
    XEmbedStatusItem item;
    Popover popover(Popover::Kind::popup);
    popover.setContent(std::make_unique<QLabel>(u"Gold $2,345.68"_s));
    QList<QPoint> clicks;
    item.setActivationHandler([&](QPoint p) {
        clicks.append(p);
        popover.toggle(item.anchorRect());
    });
    item.setStyledTitle(rising());
    const QRect anchor = settle(item, [](int) { return true; });
    ASSERT_FALSE(anchor.isNull());

    clickAt(anchor.center());
    ASSERT_TRUE(waitFor([&] { return popover.isShown(); })) << clicks.size() << " activations";
    EXPECT_EQ(clicks.first(), anchor.center());
    const QRect frame = popover.window()->frameGeometry();
    EXPECT_GT(frame.top(), anchor.bottom()) << "below the item in a top panel";
    EXPECT_LE(frame.left(), anchor.center().x());
    EXPECT_GE(frame.right(), anchor.center().x());
    EXPECT_TRUE(QGuiApplication::primaryScreen()->geometry().contains(frame));
    EXPECT_TRUE(waitFor([&] {
        const QImage seen = screenshot(frame, u"popover-below-tray"_s);
        return qGray(seen.pixel(seen.rect().center())) > 128;
    })) << "the popover is drawn where it says it is";

    // The popup's grab takes the second click: it closes the popover and reaches no one else.
    clickAt(anchor.center());
    ASSERT_TRUE(waitFor([&] { return !popover.isShown(); }));
    QTest::qWait(200);
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(clicks.size(), 1);

    clickAt(anchor.center());
    EXPECT_TRUE(waitFor([&] { return popover.isShown(); })) << "the third click opens it again";
    EXPECT_EQ(clicks.size(), 2);
    clickAt(anchor.center());
    ASSERT_TRUE(waitFor([&] { return !popover.isShown(); }));

    // The discreet entry asks for the other state and shows only what the owner sets.
    QList<bool> asked;
    item.setDiscreetHandler([&](bool on) { asked.append(on); });
    clickAt(anchor.center(), "3");
    ASSERT_TRUE(waitFor([&] { return item.menu()->isVisible(); }));
    EXPECT_EQ(clicks.size(), 2) << "a right click opens no popover";
    QAction* discreet = item.menu()->actions().value(1);
    ASSERT_NE(discreet, nullptr);
    EXPECT_EQ(discreet->text(), u"Discreet mode"_s);
    EXPECT_TRUE(discreet->isCheckable());
    discreet->trigger();
    EXPECT_EQ(asked, QList<bool>{true});
    EXPECT_FALSE(discreet->isChecked());
    item.setDiscreetChecked(true);
    EXPECT_TRUE(discreet->isChecked());
    item.menu()->close();
}

TEST(DesktopStatusItemOnX11, TellsTheUserOfNoTrayThenUsesOneAndMovesToAWatcherWhenOneAppears) {
    DesktopStatusItem item({.desktop = u"XFCE"_s, .noticeDelay = std::chrono::milliseconds(1)});
    item.setStyledTitle(rising());
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::absent; }));
    ASSERT_NE(item.notice(), nullptr);
    EXPECT_TRUE(waitFor([&] { return item.notice()->isVisible(); }));
    screenshot(item.notice()->frameGeometry(), u"no-status-area"_s);

    auto trayer = startTrayer();
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    EXPECT_EQ(item.activeBackend(), DesktopStatusItem::Backend::xembed);
    EXPECT_EQ(item.notice(), nullptr);
    EXPECT_TRUE(waitFor([&] { return item.anchorRect().width() > 3 * item.anchorRect().height(); }))
        << "the tray settles on the title's width";

    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(waitFor(
        [&] { return item.activeBackend() == DesktopStatusItem::Backend::statusNotifier; }));
    EXPECT_EQ(watcher.items().size(), 1);
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->inherits("mintlux::TrayWindow")) << "the tray window is gone";
    }
}
