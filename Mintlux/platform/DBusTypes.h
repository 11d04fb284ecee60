#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// Wire types of the status-notifier and menu protocols, with their D-Bus marshalling.
namespace mintlux {

// (iiay): width, height, ARGB32 pixels in network byte order.
struct SniIconPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;

    static SniIconPixmap fromImage(const QImage& image);
    QImage toImage() const;
};
using SniIconPixmapList = QList<SniIconPixmap>;

// (sa(iiay)ss): icon name, icon pixmaps, title, description.
struct SniToolTip {
    QString iconName;
    SniIconPixmapList iconPixmaps;
    QString title;
    QString description;
};

// (ia{sv}av): a menu node; children travel as variants holding the same structure.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// (ia{sv})
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

// (ias)
struct DBusMenuItemPropertyNames {
    int id = 0;
    QStringList names;
};
using DBusMenuItemPropertyNamesList = QList<DBusMenuItemPropertyNames>;

// (isvu)
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// Registers the types above with Qt's meta-type system and D-Bus; safe to call repeatedly.
void registerDBusTypes();

QDBusArgument& operator<<(QDBusArgument& arg, const SniIconPixmap& v);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniIconPixmap& v);
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& v);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& v);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& v);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& v);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemProperties& v);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemProperties& v);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemPropertyNames& v);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemPropertyNames& v);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& v);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& v);

}  // namespace mintlux

Q_DECLARE_METATYPE(mintlux::SniIconPixmap)
Q_DECLARE_METATYPE(mintlux::SniToolTip)
Q_DECLARE_METATYPE(mintlux::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(mintlux::DBusMenuItemProperties)
Q_DECLARE_METATYPE(mintlux::DBusMenuItemPropertyNames)
Q_DECLARE_METATYPE(mintlux::DBusMenuEvent)
