#pragma once

#include "platform/DBusTypes.h"

#include <functional>
#include <optional>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

namespace mintlux {

// A fixed menu published with the com.canonical.dbusmenu protocol, for hosts that open a menu
// on click instead of activating the item. Only the check marks change.
class DBusMenuExporter : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    struct Entry {
        QString label;  // empty for a separator
        QString iconName;
        std::function<void()> onClicked;
        std::optional<bool> checked;  // set: a check entry
    };

    DBusMenuExporter(QList<Entry> entries, QObject* parent = nullptr);

    // Entry i has the menu id i + 1; 0 is the root.
    const QList<Entry>& entries() const { return m_entries; }
    QVariantMap propertiesOf(int id) const;  // empty when the id is unknown
    bool hasId(int id) const { return id >= 0 && id <= m_entries.size(); }
    DBusMenuLayoutItem layout(int parentId, int depth, const QStringList& names) const;
    void click(int id);
    // Announces the new mark to the hosts when it changes.
    void setChecked(int id, bool checked);

    // Answers the D-Bus call being handled (D-Bus keeps the call's context on the object the
    // adaptor belongs to) with an invalid-arguments error.
    void failCurrentCall(const QString& why);

private:
    QList<Entry> m_entries;
    class DBusMenuAdaptor* m_adaptor = nullptr;
};

class DBusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuAdaptor(DBusMenuExporter* menu);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   mintlux::DBusMenuLayoutItem& layout);
    mintlux::DBusMenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                                           const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const mintlux::DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const mintlux::DBusMenuItemPropertiesList& updatedProps,
                                const mintlux::DBusMenuItemPropertyNamesList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    bool rejectUnknown(int id);

    DBusMenuExporter* m_menu;
};

}  // namespace mintlux
