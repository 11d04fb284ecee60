#include "platform/PopoverPlacement.h"

#include <algorithm>
#include <limits>

namespace mintlux {

namespace {

qint64 area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

int distance(const QRect& r, const QPoint& p) {
    const int dx = std::max({r.left() - p.x(), 0, p.x() - r.right()});
    const int dy = std::max({r.top() - p.y(), 0, p.y() - r.bottom()});
    return dx + dy;
}

const ScreenArea& screenFor(const QRect& anchor, const QList<ScreenArea>& screens) {
    const QPoint centre = anchor.center();
    for (const ScreenArea& s : screens) {
        if (s.geometry.contains(centre)) {
            return s;
        }
    }
    const ScreenArea* best = &screens.front();
    qint64 bestOverlap = -1;
    int bestDistance = std::numeric_limits<int>::max();
    for (const ScreenArea& s : screens) {
        const qint64 overlap = area(s.geometry.intersected(anchor));
        const int d = distance(s.geometry, centre);
        if (overlap > bestOverlap || (overlap == bestOverlap && d < bestDistance)) {
            best = &s;
            bestOverlap = overlap;
            bestDistance = d;
        }
    }
    return *best;
}

PopoverEdge edgeFor(const QRect& anchor, const QSize& size, const QRect& available, int gap) {
    // An item outside the available area sits in a panel along that side.
    if (anchor.bottom() < available.top()) {
        return PopoverEdge::below;
    }
    if (anchor.top() > available.bottom()) {
        return PopoverEdge::above;
    }
    if (anchor.right() < available.left()) {
        return PopoverEdge::right;
    }
    if (anchor.left() > available.right()) {
        return PopoverEdge::left;
    }
    const int below = available.bottom() - anchor.bottom();
    const int above = anchor.top() - available.top();
    const int needed = size.height() + gap;
    if (below >= needed) {
        return PopoverEdge::below;
    }
    if (above >= needed) {
        return PopoverEdge::above;
    }
    return below >= above ? PopoverEdge::below : PopoverEdge::above;
}

int clampInto(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length + 1));
}

}  // namespace

PopoverPlacement placePopover(const QRect& anchor, const QSize& size,
                              const QList<ScreenArea>& screens, int gap) {
    if (screens.isEmpty()) {
        const QPoint origin = anchor.isNull() ? QPoint() : anchor.bottomLeft() + QPoint(0, 1 + gap);
        return {QRect(origin, size), PopoverEdge::below};
    }
    const ScreenArea& screen = anchor.isNull() ? screens.front() : screenFor(anchor, screens);
    const QRect available = screen.available.isEmpty() ? screen.geometry : screen.available;
    if (anchor.isNull()) {
        return {QRect(QPoint(available.right() + 1 - size.width(), available.top()), size)
                    .translated(-gap, gap),
                PopoverEdge::below};
    }

    const PopoverEdge edge = edgeFor(anchor, size, available, gap);
    const int centreX = anchor.x() + anchor.width() / 2;
    QPoint origin;
    switch (edge) {
        case PopoverEdge::below:
            origin = {centreX - size.width() / 2, anchor.bottom() + 1 + gap};
            break;
        case PopoverEdge::above:
            origin = {centreX - size.width() / 2, anchor.top() - gap - size.height()};
            break;
        case PopoverEdge::right:
            origin = {anchor.right() + 1 + gap, anchor.top()};
            break;
        case PopoverEdge::left:
            origin = {anchor.left() - gap - size.width(), anchor.top()};
            break;
    }
    origin.setX(clampInto(origin.x(), size.width(), available.left(), available.right()));
    origin.setY(clampInto(origin.y(), size.height(), available.top(), available.bottom()));
    return {QRect(origin, size), edge};
}

}  // namespace mintlux
