#include "Pixels.h"
#include "platform/TitleRenderer.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace mintlux;
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

using test::isGreen;
using test::isRed;

struct Coloured {
    int green = 0;
    int red = 0;
    int leftmost = std::numeric_limits<int>::max();  // of any coloured pixel
    int topmost = std::numeric_limits<int>::max();
};

Coloured colouredPixels(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    Coloured c;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            const bool g = isGreen(p);
            const bool r = isRed(p);
            c.green += g;
            c.red += r;
            if (g || r) {
                c.leftmost = std::min(c.leftmost, x);
                c.topmost = std::min(c.topmost, y);
            }
        }
    }
    return c;
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
        const QImage head = renderer.renderTitle({QStringLiteral("Au $2,346"), {}}, height, colors);
        EXPECT_EQ(full.height(), height);
        EXPECT_EQ(full.width(), renderer.titleWidth(titleWithTail(Role::positive), height));
        EXPECT_GT(full.width(), head.width());
        EXPECT_GT(full.width(), 3 * height) << "a title is far wider than a square icon";
    }
    const int w22 = renderer.titleWidth(titleWithTail(Role::positive), 22);
    const int w44 = renderer.titleWidth(titleWithTail(Role::positive), 44);
    EXPECT_NEAR(double(w44) / w22, 2.0, 0.3);
}

struct Tail {
    std::optional<Role> role;
    bool green;
    bool red;
};
// A rise, a fall and a title without a change.
const Tail kTails[] = {
    {Role::positive, true, false}, {Role::negative, false, true}, {std::nullopt, false, false}};

TEST_F(TitleRendererTest, OnlyTheChangeTailIsColouredByItsRole) {
    for (const Tail& c : kTails) {
        SCOPED_TRACE(c.green ? "rise" : c.red ? "fall" : "no change");
        const QImage image = renderer.renderTitle(titleWithTail(c.role), 22, colors);
        const Coloured found = colouredPixels(image);
        EXPECT_EQ(found.green > 10, c.green);
        EXPECT_EQ(found.red > 10, c.red);
        if (c.green || c.red) {
            // The symbol and the amount keep the default colour.
            EXPECT_GT(found.leftmost, image.width() / 2);
        }
    }
}

TEST_F(TitleRendererTest, RunsReachingPastTheTextAreClipped) {
    StyledTitle t{QStringLiteral("Ag $29.46"),
                  {{4, 1000, Role::negative}, {50, 3, Role::positive}}};
    const Coloured found = colouredPixels(renderer.renderTitle(t, 22, colors));
    EXPECT_GT(found.red, 10);
    EXPECT_EQ(found.green, 0);
    EXPECT_EQ(TitleRenderer::directionOf(t), Role::negative) << "a run past the end tells nothing";
}

TEST_F(TitleRendererTest, CompactIconIsSquareWithSymbolAndColouredDirection) {
    for (int size : {22, 44}) {
        for (const Tail& c : kTails) {
            SCOPED_TRACE(size);
            const QImage icon = renderer.renderCompactIcon(titleWithTail(c.role), size, colors);
            EXPECT_EQ(icon.size(), QSize(size, size));
            const Coloured found = colouredPixels(icon);
            EXPECT_EQ(found.green > 3, c.green);
            EXPECT_EQ(found.red > 3, c.red);
            if (c.green || c.red) {
                EXPECT_GE(found.topmost, size / 2) << "the triangle sits under the symbol";
            }
            const int light =
                test::countPixels(icon, [](QRgb p) { return qAlpha(p) > 200 && qGray(p) > 200; });
            EXPECT_GT(light, size / 2) << "the metal symbol is drawn";
        }
    }
}

TEST(TitleText, SymbolDirectionAndWidthGuide) {
    struct Case {
        StyledTitle title;
        QString symbol;
        std::optional<Role> direction;
        QString guide;
    };
    const QString rise = QString::fromUtf8("Au $2,346 \u25B21.23%");
    const QString fall = QString::fromUtf8("Pd \u20AC1,024.50 \u25BC0.46%");
    const std::vector<Case> cases{
        {{QString::fromUtf8("Au \u2014"), {}}, "Au", std::nullopt, QString::fromUtf8("Au \u2014")},
        {{rise, {{9, 7, Role::positive}}},
         "Au",
         Role::positive,
         QString::fromUtf8("Au $0,000 \u25B20.00%")},
        {{fall, {{12, 7, Role::negative}}},
         "Pd",
         Role::negative,
         QString::fromUtf8("Pd \u20AC0,000.00 \u25BC0.00%")},
        {{QString(), {}}, QString(), std::nullopt, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.text.toStdString());
        EXPECT_EQ(TitleRenderer::symbolOf(c.title), c.symbol);
        EXPECT_EQ(TitleRenderer::directionOf(c.title), c.direction);
        EXPECT_EQ(TitleRenderer::widthGuide(c.title.text), c.guide);
    }
}
