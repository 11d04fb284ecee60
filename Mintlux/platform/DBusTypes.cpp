#include "platform/DBusTypes.h"

#include <QDBusMetaType>
#include <QtEndian>

namespace mintlux {

SniIconPixmap SniIconPixmap::fromImage(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SniIconPixmap out;
    out.width = argb.width();
    out.height = argb.height();
    out.argb.resize(static_cast<qsizetype>(argb.width()) * argb.height() * 4);
    auto* dst = reinterpret_cast<uchar*>(out.argb.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            qToBigEndian<quint32>(row[x], dst);
            dst += 4;
        }
    }
    return out;
}

QImage SniIconPixmap::toImage() const {
    if (width <= 0 || height <= 0 || argb.size() != qsizetype(width) * height * 4) {
        return {};
    }
    QImage image(width, height, QImage::Format_ARGB32);
    const auto* src = reinterpret_cast<const uchar*>(argb.constData());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            row[x] = qFromBigEndian<quint32>(src);
            src += 4;
        }
    }
    return image;
}

void registerDBusTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<SniIconPixmap>();
        qDBusRegisterMetaType<SniIconPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DBusMenuItemPropertyNames>();
        qDBusRegisterMetaType<DBusMenuItemPropertyNamesList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        // Adaptor signatures name the aliases; D-Bus finds their types by those names.
        qRegisterMetaType<SniIconPixmapList>("mintlux::SniIconPixmapList");
        qRegisterMetaType<DBusMenuItemPropertiesList>("mintlux::DBusMenuItemPropertiesList");
        qRegisterMetaType<DBusMenuItemPropertyNamesList>("mintlux::DBusMenuItemPropertyNamesList");
        qRegisterMetaType<DBusMenuEventList>("mintlux::DBusMenuEventList");
        return true;
    }();
    (void)once;
}

QDBusArgument& operator<<(QDBusArgument& arg, const SniIconPixmap& v) {
    arg.beginStructure();
    arg << v.width << v.height << v.argb;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, SniIconPixmap& v) {
    arg.beginStructure();
    arg >> v.width >> v.height >> v.argb;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& v) {
    arg.beginStructure();
    arg << v.iconName << v.iconPixmaps << v.title << v.description;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& v) {
    arg.beginStructure();
    arg >> v.iconName >> v.iconPixmaps >> v.title >> v.description;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& v) {
    arg.beginStructure();
    arg << v.id << v.properties;
    arg.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : v.children) {
        arg << QDBusVariant(QVariant::fromValue(child));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& v) {
    arg.beginStructure();
    arg >> v.id >> v.properties;
    v.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        // A received child is still a D-Bus structure inside the variant.
        const QVariant value = child.variant();
        DBusMenuLayoutItem item;
        if (value.canConvert<QDBusArgument>()) {
            value.value<QDBusArgument>() >> item;
        } else {
            item = value.value<DBusMenuLayoutItem>();
        }
        v.children.append(item);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemProperties& v) {
    arg.beginStructure();
    arg << v.id << v.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemProperties& v) {
    arg.beginStructure();
    arg >> v.id >> v.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemPropertyNames& v) {
    arg.beginStructure();
    arg << v.id << v.names;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemPropertyNames& v) {
    arg.beginStructure();
    arg >> v.id >> v.names;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& v) {
    arg.beginStructure();
    arg << v.id << v.eventId << v.data << v.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& v) {
    arg.beginStructure();
    arg >> v.id >> v.eventId >> v.data >> v.timestamp;
    arg.endStructure();
    return arg;
}

}  // namespace mintlux
