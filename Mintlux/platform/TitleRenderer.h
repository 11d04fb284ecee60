#pragma once

#include "StyledTitle.h"

#include <optional>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

class QPainter;

namespace mintlux {

// Colours for drawing a title. A halo with alpha 0 draws none; a visible halo keeps the text
// readable on panels whose background colour cannot be known (dark and light alike).
struct TitleColors {
    QColor foreground;
    QColor positive;
    QColor negative;
    QColor halo;

    // For pixmaps handed to a panel of unknown colour: light text with a dark halo.
    static TitleColors forUnknownBackground();
    // For surfaces painted by us, over the given background colour.
    static TitleColors forBackground(const QColor& background, const QColor& text);
};

// Draws status-item titles. Sizes are in device pixels: a panel hands us its height and the
// title grows to its natural width.
class TitleRenderer {
public:
    explicit TitleRenderer(QFont baseFont);

    // Width the title needs at the given panel height, padding included.
    int titleWidth(const StyledTitle& title, int height) const;

    void paintTitle(QPainter& painter, const QRect& area, const StyledTitle& title,
                    const TitleColors& colors) const;

    // Variable-width image of the whole title, `height` pixels tall, transparent background.
    QImage renderTitle(const StyledTitle& title, int height, const TitleColors& colors) const;

    // Square image for hosts that force square icons: the metal symbol and a coloured
    // triangle telling the direction of the change, if the title has one.
    QImage renderCompactIcon(const StyledTitle& title, int size, const TitleColors& colors) const;

    // Square image for hosts that print the title beside the icon: only the coloured direction
    // triangle, or a plain disc when the title has none, so the symbol is not said twice.
    QImage renderMarkIcon(const StyledTitle& title, int size, const TitleColors& colors) const;

    // The leading word of the title ("Au" in "Au $2,346 ▲1.23%").
    static QString symbolOf(const StyledTitle& title);
    // Role of the last coloured run: the direction of the day's change.
    static std::optional<StyledTitle::Role> directionOf(const StyledTitle& title);
    // A text as wide as any title of the same shape, so panels reserve a width that does not
    // change with every price.
    static QString widthGuide(const QString& text);

private:
    QFont fontFor(int height) const;

    QFont m_baseFont;
};

}  // namespace mintlux
