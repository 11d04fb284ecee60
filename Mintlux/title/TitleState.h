#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>

namespace mintlux::title {

// The names under which the running application publishes its title on the session bus.
inline constexpr const char* kService = "org.mintlux.Mintlux";
inline constexpr const char* kPath = "/org/mintlux/Mintlux";
inline constexpr const char* kInterface = "org.mintlux.Mintlux.Title";
// Held by every integration that shows the title itself; the app hides its own item meanwhile.
inline constexpr const char* kShownService = "org.mintlux.Mintlux.TitleShown";

// One piece of the title; the pieces' texts concatenate to the whole.
struct Segment {
    QString text;
    QString style;  // "none", "positive" or "negative"

    friend bool operator==(const Segment&, const Segment&) = default;
};
using Segments = QList<Segment>;

// Everything a reader needs to draw the title as the status item does.
struct TitleState {
    QString text;
    Segments segments;
    QString tooltip;
    QString direction = QStringLiteral("none");  // "up", "down" or "none"
    QString symbol;
    qint64 updated = 0;  // Unix milliseconds of the prices shown; 0 when none yet

    friend bool operator==(const TitleState&, const TitleState&) = default;
};

// Once per process, before any of these types crosses the bus.
void registerTitleTypes();

QDBusArgument& operator<<(QDBusArgument& arg, const Segment& segment);
const QDBusArgument& operator>>(const QDBusArgument& arg, Segment& segment);

}  // namespace mintlux::title

Q_DECLARE_METATYPE(mintlux::title::Segment)
Q_DECLARE_METATYPE(mintlux::title::Segments)
