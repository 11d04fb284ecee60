#pragma once

#include <QColor>
#include <QIcon>

namespace mintlux::PopoverIcons {

enum class Kind { vault, settings, quit, chart, discreet, bell };

// The desktop theme's icon where the theme has one, else a drawn one in `color`, so the popup
// looks complete on any theme, or none.
QIcon icon(Kind kind, const QColor& color);
// The drawn icon alone, whatever the theme has.
QIcon drawn(Kind kind, const QColor& color);

}  // namespace mintlux::PopoverIcons
