#pragma once

#include "Wait.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace mintlux::test {

// The panel's side of the bus: a connection of its own that reads items and calls them.
class HostConnection {
public:
    HostConnection() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kName)) {}
    ~HostConnection() { QDBusConnection::disconnectFromBus(kName); }
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    const QDBusConnection& bus() const { return m_bus; }

    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& args = {}) const {
        QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
        m.setArguments(args);
        return callAndWait(m_bus, m);
    }

    // The property's value; D-Bus structures arrive as QDBusArgument for qdbus_cast.
    QVariant property(const QString& service, const QString& path, const QString& interface,
                      const QString& name) const {
        const QDBusMessage reply =
            call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"), {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return {};
        }
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

private:
    static constexpr const char* kName = "test-host";
    QDBusConnection m_bus;
};

}  // namespace mintlux::test
