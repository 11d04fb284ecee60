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

// What a follower shows while the application is away: the last metal it showed, if any.
TitleState absentState(const QString& lastSymbol);

}  // namespace mintlux::title
