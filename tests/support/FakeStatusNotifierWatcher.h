#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>

class QDBusServiceWatcher;

namespace mintlux::test {

// A minimal org.kde.StatusNotifierWatcher on its own bus connection, so to the item it is a
// separate peer exactly like a panel's watcher: it can come and go, and its name changes owner.
// What D-Bus sees is marked scriptable.
class FakeStatusNotifierWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER m_hostRegistered)

public:
    explicit FakeStatusNotifierWatcher(bool hostRegistered = true);
    ~FakeStatusNotifierWatcher() override;

    // Entries as "bus-name/object-path".
    QStringList items() const { return m_items; }
    void setHostRegistered(bool registered);

    // This many registrations are answered as taken but never listed, as a watcher still
    // starting up may do.
    int dropRegistrations = 0;

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& serviceOrPath);
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString&) { setHostRegistered(true); }

signals:
    void itemRegistered(const QString& entry);
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& entry);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& entry);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();
    Q_SCRIPTABLE void StatusNotifierHostUnregistered();

private:
    QString m_connectionName;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_itemWatcher = nullptr;
    QStringList m_items;
    bool m_hostRegistered;
};

}  // namespace mintlux::test
