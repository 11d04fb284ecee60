#pragma once

#include <QFont>

namespace mintlux::TabularFigures {

// `base`, or the nearest font whose ten digits are all equally wide, so a number that updates
// in place does not shift sideways. Qt 6.4 cannot switch on a font's tabular-figures feature,
// so a font with proportional digits is replaced by one whose default digits are tabular.
QFont font(const QFont& base);

bool hasEqualWidthDigits(const QFont& font);

}  // namespace mintlux::TabularFigures
