#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace mintlux {

struct ScreenArea {
    QRect geometry;
    QRect available;  // without the panels; empty means the whole geometry
};

enum class PopoverEdge { below, above, right, left };

struct PopoverPlacement {
    QRect frame;
    PopoverEdge edge;

    bool operator==(const PopoverPlacement&) const = default;
};

// Where a popup of `size` opens for a status item at `anchor` (global coordinates): on the
// side of the item away from its panel (below an item in a top panel, above one in a bottom
// panel, beside one in a side panel), centred on it where it can be, and always inside the
// available area of the screen the item is on. A null anchor (the host did not say where the
// item is) puts it in the top-right corner of the first screen, where status areas usually
// are. The first screen is the primary one.
PopoverPlacement placePopover(const QRect& anchor, const QSize& size,
                              const QList<ScreenArea>& screens, int gap = 4);

}  // namespace mintlux
