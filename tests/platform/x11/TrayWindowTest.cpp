#include "Pixels.h"
#include "Wait.h"
#include "platform/TrayWindow.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::waitFor;

namespace {

StyledTitle falling() {
    return {QString::fromUtf8("Pt $987 \u25BC0.46%"), {{7, 7, StyledTitle::Role::negative}}};
}

// Resizes the window from outside, as a tray resizes the window it embeds.
void resizeLikeATray(QWidget& w, QSize size) {
    xcb_connection_t* c =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const uint32_t values[] = {static_cast<uint32_t>(size.width()),
                               static_cast<uint32_t>(size.height())};
    xcb_configure_window(c, static_cast<xcb_window_t>(w.winId()),
                         XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    xcb_flush(c);
}

// Red pixels in the upper and in the lower half of the rendered window.
std::pair<int, int> redPixels(QWidget& w) {
    const QImage image = w.grab().toImage();
    const int half = image.height() / 2;
    return {test::countPixels(image, test::isRed, QRect(0, 0, image.width(), half)),
            test::countPixels(image, test::isRed, QRect(0, half, image.width(), half + 1))};
}

}  // namespace

TEST(TrayWindow, AsksForTheTitleWidthAtTheHeightTheTrayGivesAndFitsASquareSlot) {
    TrayWindow window([](QPoint) {});
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
