#include "Pixels.h"
#include "platform/TitleRenderer.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using Role = StyledTitle::Role;

namespace {

// "Au $2,346 ▲1.23%" with its tail (from the space before the arrow) coloured.
StyledTitle titleWithTail(std::optional<Role> role) {
    StyledTitle t{QString::fromUtf8("Au $2,346 \u25B21.23%"), {}};
    if (role) {
        t.runs.append({9, t.text.size() - 9, *role});
    }
    return t;
}

using test::countPixels;
using test::isGreen;
using test::isRed;

bool coloured(QRgb p) {
    return isGreen(p) || isRed(p);
}

class TitleRendererTest : public ::testing::Test {
protected:
    TitleRenderer renderer{QApplication::font()};
    TitleColors colors = TitleColors::forUnknownBackground();
};

}  // namespace

TEST_F(TitleRendererTest, TitleImageHasPanelHeightAndGrowsWithTheText) {
    for (int height : {22, 44}) {
        SCOPED_TRACE(height);
        const QImage full = renderer.renderTitle(titleWithTail(Role::positive), height, colors);
        const QImage head = renderer.renderTitle({u"Au $2,346"_s, {}}, height, colors);
        EXPECT_EQ(full.height(), height);
        EXPECT_EQ(full.width(), renderer.titleWidth(titleWithTail(Role::positive), height));
        EXPECT_GT(full.width(), head.width());
        EXPECT_GT(full.width(), 3 * height) << "a title is far wider than a square icon";
    }
    const int w22 = renderer.titleWidth(titleWithTail(Role::positive), 22);
    const int w44 = renderer.titleWidth(titleWithTail(Role::positive), 44);
    EXPECT_NEAR(double(w44) / w22, 2.0, 0.3);
}

// In the title only the change tail is coloured; the compact icon draws the symbol with the
// coloured triangle under it.
TEST_F(TitleRendererTest, OnlyTheChangeIsColouredByItsRoleAndRunsPastTheTextAreClipped) {
    const struct {
        std::optional<Role> role;
        bool green;
        bool red;
    } tails[] = {{Role::positive, true, false}, {Role::negative, false, true}, {{}, false, false}};
    for (const auto& c : tails) {
        SCOPED_TRACE(c.green ? "rise" : c.red ? "fall" : "no change");
        const QImage title = renderer.renderTitle(titleWithTail(c.role), 22, colors);
        EXPECT_EQ(countPixels(title, isGreen) > 10, c.green);
        EXPECT_EQ(countPixels(title, isRed) > 10, c.red);
        EXPECT_EQ(countPixels(title, coloured, QRect(0, 0, title.width() / 2 + 1, 22)), 0)
            << "the symbol and the amount keep the default colour";
        for (int size : {22, 44}) {
            const QImage icon = renderer.renderCompactIcon(titleWithTail(c.role), size, colors);
            EXPECT_EQ(icon.size(), QSize(size, size));
            EXPECT_EQ(countPixels(icon, isGreen) > 3, c.green);
            EXPECT_EQ(countPixels(icon, isRed) > 3, c.red);
            EXPECT_EQ(countPixels(icon, coloured, QRect(0, 0, size, size / 2)), 0);
            const int light =
                countPixels(icon, [](QRgb p) { return qAlpha(p) > 200 && qGray(p) > 200; });
            EXPECT_GT(light, size / 2) << "the metal symbol is drawn";
        }
    }
    // Runs reaching past the text are clipped.
    StyledTitle t{u"Ag $29.46"_s, {{4, 1000, Role::negative}, {50, 3, Role::positive}}};
    const QImage image = renderer.renderTitle(t, 22, colors);
    EXPECT_GT(countPixels(image, isRed), 10);
    EXPECT_EQ(countPixels(image, isGreen), 0);
    EXPECT_EQ(TitleRenderer::directionOf(t), Role::negative) << "a run past the end tells nothing";
}

TEST(TitleText, SymbolDirectionAndWidthGuide) {
    const struct {
        StyledTitle title;
        const char* symbol;
        std::optional<Role> direction;
        const char* guide;
    } cases[] = {
        {{QString::fromUtf8("Au \u2014"), {}}, "Au", std::nullopt, "Au \u2014"},
        {titleWithTail(Role::positive), "Au", Role::positive, "Au $0,000 \u25B20.00%"},
        {{QString::fromUtf8("Pd \u20AC1,024.50 \u25BC0.46%"), {{12, 7, Role::negative}}},
         "Pd",
         Role::negative,
         "Pd \u20AC0,000.00 \u25BC0.00%"},
        {{QString(), {}}, "", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.text.toStdString());
        EXPECT_EQ(TitleRenderer::symbolOf(c.title), QString::fromUtf8(c.symbol));
        EXPECT_EQ(TitleRenderer::directionOf(c.title), c.direction);
        EXPECT_EQ(TitleRenderer::widthGuide(c.title.text), QString::fromUtf8(c.guide));
    }
}
