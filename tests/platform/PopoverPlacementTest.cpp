#include "platform/PopoverPlacement.h"

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

const QSize kPopover(320, 360);
const QRect kFullHd(0, 0, 1920, 1080);

struct Case {
    const char* name;
    QRect anchor;
    QList<ScreenArea> screens;
    QRect frame;
    PopoverEdge edge;
    QSize size = kPopover;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class PopoverPlacementTest : public ::testing::TestWithParam<Case> {};

const ScreenArea topPanel{kFullHd, QRect(0, 28, 1920, 1052)};
const ScreenArea bottomPanel{kFullHd, QRect(0, 0, 1920, 1040)};
const ScreenArea leftPanel{kFullHd, QRect(48, 0, 1872, 1080)};
const ScreenArea rightPanel{kFullHd, QRect(0, 0, 1872, 1080)};
const ScreenArea noPanelInfo{kFullHd, kFullHd};
const ScreenArea rightScreen{QRect(1920, 0, 1280, 1024), QRect(1920, 28, 1280, 996)};
const ScreenArea leftScreen{QRect(-1280, 0, 1280, 1024), QRect(-1280, 28, 1280, 996)};

const Case kCases[] = {
    {"top panel: below, centred on the item",
     QRect(1000, 2, 80, 24),
     {topPanel},
     QRect(880, 30, 320, 360),
     PopoverEdge::below},
    {"top panel, item at the right edge: pushed left inside the screen",
     QRect(1880, 2, 40, 24),
     {topPanel},
     QRect(1600, 30, 320, 360),
     PopoverEdge::below},
    {"top panel, item at the left edge: pushed right",
     QRect(0, 2, 40, 24),
     {topPanel},
     QRect(0, 30, 320, 360),
     PopoverEdge::below},
    {"bottom panel: above, clear of the panel",
     QRect(1000, 1045, 60, 30),
     {bottomPanel},
     QRect(870, 680, 320, 360),
     PopoverEdge::above},
    {"left panel: to the right, clear of the panel",
     QRect(8, 500, 32, 32),
     {leftPanel},
     QRect(48, 500, 320, 360),
     PopoverEdge::right},
    {"right panel near the bottom: to the left, lifted inside",
     QRect(1880, 900, 32, 32),
     {rightPanel},
     QRect(1552, 720, 320, 360),
     PopoverEdge::left},
    {"click point without panel information: below it",
     QRect(1700, 10, 1, 1),
     {noPanelInfo},
     QRect(1540, 15, 320, 360),
     PopoverEdge::below},
    {"click point at the bottom without panel information: above it",
     QRect(900, 1070, 1, 1),
     {noPanelInfo},
     QRect(740, 706, 320, 360),
     PopoverEdge::above},
    {"item on the second screen stays on that screen",
     QRect(3100, 2, 60, 24),
     {topPanel, rightScreen},
     QRect(2880, 30, 320, 360),
     PopoverEdge::below},
    {"screen left of the primary, negative coordinates",
     QRect(-100, 2, 40, 24),
     {topPanel, leftScreen},
     QRect(-320, 30, 320, 360),
     PopoverEdge::below},
    {"item straddling two screens belongs to the one holding its centre",
     QRect(1900, 2, 60, 24),
     {topPanel, rightScreen},
     QRect(1920, 30, 320, 360),
     PopoverEdge::below},
    {"anchor right of every screen: beside it on the nearest one",
     QRect(3300, 500, 10, 10),
     {topPanel, rightScreen},
     QRect(2880, 500, 320, 360),
     PopoverEdge::left},
    {"unknown anchor: top-right corner of the primary screen",
     QRect(),
     {topPanel, rightScreen},
     QRect(1596, 32, 320, 360),
     PopoverEdge::below},
    {"taller than the screen: top edge kept visible",
     QRect(1000, 2, 80, 24),
     {topPanel},
     QRect(880, 28, 320, 2000),
     PopoverEdge::below,
     QSize(320, 2000)},
    {"no screens at all: under the anchor",
     QRect(10, 10, 20, 20),
     {},
     QRect(10, 34, 320, 360),
     PopoverEdge::below},
};

}  // namespace

TEST_P(PopoverPlacementTest, PlacesNextToTheItemInsideTheScreen) {
    const Case& c = GetParam();
    const PopoverPlacement p = placePopover(c.anchor, c.size, c.screens);
    EXPECT_EQ(p.frame, c.frame);
    EXPECT_EQ(p.edge, c.edge);
    if (!c.screens.isEmpty() && c.size.height() < 1000) {
        bool inside = false;
        for (const ScreenArea& s : c.screens) {
            inside = inside || s.available.contains(p.frame);
        }
        EXPECT_TRUE(inside);
    }
}

INSTANTIATE_TEST_SUITE_P(Placements, PopoverPlacementTest, ::testing::ValuesIn(kCases));
