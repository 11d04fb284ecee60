#pragma once

#include "TitleState.h"

#include <optional>

#include <QString>
#include <QStringView>

namespace mintlux::title {

// How a panel wants the title written: each format escapes for its own reader.
enum class Format { plain, pango, waybar, genmon, polybar };

std::optional<Format> formatFromName(QStringView name);

// The title as one line (genmon's tooltip may span several: genmon reads the whole output).
QString formatTitle(const TitleState& state, Format format);

// What a follower shows while the application is away or not answering: the last metal it
// showed, if any, and why as the tooltip.
TitleState absentState(const QString& lastSymbol, const QString& why);

// What a one-shot prints when it has no title, for the formats whose panel draws whatever the
// command printed, its errors included (genmon): the empty monitor, the reason as its tooltip.
// Null for the others, which fail instead.
QString unreachableTitle(Format format, const QString& why);

}  // namespace mintlux::title
