#include "TitleState.h"

#include <QDBusMetaType>

namespace mintlux::title {

void registerTitleTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<Segment>();
        qDBusRegisterMetaType<Segments>();
        return true;
    }();
    (void)once;
}

QDBusArgument& operator<<(QDBusArgument& arg, const Segment& segment) {
    arg.beginStructure();
    arg << segment.text << segment.style;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, Segment& segment) {
    arg.beginStructure();
    arg >> segment.text >> segment.style;
    arg.endStructure();
    return arg;
}

}  // namespace mintlux::title
