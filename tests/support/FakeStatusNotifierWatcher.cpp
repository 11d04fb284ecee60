#include "FakeStatusNotifierWatcher.h"

#include <stdexcept>

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace mintlux::test {

namespace {
const QString kService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kPath = QStringLiteral("/StatusNotifierWatcher");
}  // namespace

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(bool hostRegistered)
    : m_connectionName(QStringLiteral("fake-watcher-%1").arg(reinterpret_cast<quintptr>(this))),
      m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName)),
      m_hostRegistered(hostRegistered) {
    m_itemWatcher = new QDBusServiceWatcher(QString(), m_bus,
                                            QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_itemWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& service) {
                for (const QString& entry : QStringList(m_items)) {
                    if (entry.section(u'/', 0, 0) == service) {
                        m_items.removeAll(entry);
                        emit StatusNotifierItemUnregistered(entry);
                    }
                }
                m_itemWatcher->removeWatchedService(service);
            });
    const auto exported =
        QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties;
    if (!m_bus.registerObject(kPath, this, exported) || !m_bus.registerService(kService)) {
        throw std::runtime_error("the fake watcher could not take its name: " +
                                 m_bus.lastError().message().toStdString());
    }
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher() {
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kPath);
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void FakeStatusNotifierWatcher::setHostRegistered(bool registered) {
    m_hostRegistered = registered;
    registered ? StatusNotifierHostRegistered() : StatusNotifierHostUnregistered();
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath) {
    const QString sender = message().service();
    const QString name = serviceOrPath.startsWith(u'/') ? sender : serviceOrPath;
    if (!connection().interface()->isServiceRegistered(name)) {
        sendErrorReply(QDBusError::ServiceUnknown, name + QStringLiteral(" is not on the bus"));
        return;
    }
    // Items name either their bus name or, on their own connection, an object path.
    const QString entry = serviceOrPath.startsWith(u'/')
                              ? sender + serviceOrPath
                              : serviceOrPath + QStringLiteral("/StatusNotifierItem");
    if (m_items.contains(entry)) {
        return;
    }
    if (dropRegistrations > 0) {
        --dropRegistrations;
        return;
    }
    m_items.append(entry);
    m_itemWatcher->addWatchedService(entry.section(u'/', 0, 0));
    emit StatusNotifierItemRegistered(entry);
    emit itemRegistered(entry);
}

}  // namespace mintlux::test
