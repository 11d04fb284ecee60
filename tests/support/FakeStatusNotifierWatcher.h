#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>

class QDBusServiceWatcher;

namespace mintlux::test {

// A minimal org.kde.StatusNotifierWatcher on its own bus connection, so to the item it is a
// separate peer exactly like a panel's watcher: it can come and go, and its name changes owner.
class FakeStatusNotifierWatcher : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit FakeStatusNotifierWatcher(bool hostRegistered = true);
    ~FakeStatusNotifierWatcher() override;

    // Entries as "bus-name/object-path".
    QStringList items() const { return m_items; }
    bool hostRegistered() const { return m_hostRegistered; }
    void setHostRegistered(bool registered);

    // RegisterStatusNotifierItem, answered in the context of the call being handled (D-Bus keeps
    // it on the object, not on its adaptor).
    void registerItemFromBus(const QString& serviceOrPath);

    // This many registrations are answered as taken but never listed, as a watcher still
    // starting up may do.
    int dropRegistrations = 0;

signals:
    void itemRegistered(const QString& entry);
    void itemUnregistered(const QString& entry);

private:
    QString m_connectionName;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_itemWatcher = nullptr;
    class FakeWatcherAdaptor* m_adaptor = nullptr;
    QStringList m_items;
    bool m_hostRegistered;
};

class FakeWatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit FakeWatcherAdaptor(FakeStatusNotifierWatcher* watcher);

    QStringList registeredItems() const { return m_watcher->items(); }
    bool isHostRegistered() const { return m_watcher->hostRegistered(); }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

signals:
    void StatusNotifierItemRegistered(const QString& entry);
    void StatusNotifierItemUnregistered(const QString& entry);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    FakeStatusNotifierWatcher* m_watcher;
};

}  // namespace mintlux::test
