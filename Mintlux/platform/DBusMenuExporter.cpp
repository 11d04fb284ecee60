#include "platform/DBusMenuExporter.h"

#include <QDBusMessage>
#include <QGuiApplication>

namespace mintlux {

namespace {

// The layout never changes, so its revision stays the same for the life of the menu.
constexpr uint kRevision = 1;

QVariantMap filtered(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap out;
    for (const QString& name : names) {
        if (auto it = properties.constFind(name); it != properties.cend()) {
            out.insert(name, *it);
        }
    }
    return out;
}

}  // namespace

DBusMenuExporter::DBusMenuExporter(QList<Entry> entries, QObject* parent)
    : QObject(parent), m_entries(std::move(entries)) {
    registerDBusTypes();
    m_adaptor = new DBusMenuAdaptor(this);
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const {
    if (id == 0) {
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    }
    if (!hasId(id)) {
        return {};
    }
    const Entry& entry = m_entries[id - 1];
    if (entry.label.isEmpty()) {
        return {{QStringLiteral("type"), QStringLiteral("separator")}};
    }
    QVariantMap properties{{QStringLiteral("label"), entry.label},
                           {QStringLiteral("enabled"), true},
                           {QStringLiteral("visible"), true}};
    if (!entry.iconName.isEmpty()) {
        properties.insert(QStringLiteral("icon-name"), entry.iconName);
    }
    if (entry.checked) {
        properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), *entry.checked ? 1 : 0);
    }
    return properties;
}

DBusMenuLayoutItem DBusMenuExporter::layout(int parentId, int depth,
                                            const QStringList& names) const {
    DBusMenuLayoutItem node{parentId, filtered(propertiesOf(parentId), names), {}};
    // Only the root has children; a depth of 0 asks for the node alone, -1 for everything.
    if (parentId == 0 && depth != 0) {
        for (int id = 1; id <= m_entries.size(); ++id) {
            node.children.append({id, filtered(propertiesOf(id), names), {}});
        }
    }
    return node;
}

void DBusMenuExporter::click(int id) {
    if (id < 1 || id > m_entries.size() || !m_entries[id - 1].onClicked) {
        return;
    }
    // Run after the D-Bus reply is on its way: the handler may end the application or
    // destroy this menu.
    QMetaObject::invokeMethod(
        this, [this, id] { m_entries[id - 1].onClicked(); }, Qt::QueuedConnection);
}

void DBusMenuExporter::setChecked(int id, bool checked) {
    if (id < 1 || id > m_entries.size() || !m_entries[id - 1].checked ||
        *m_entries[id - 1].checked == checked) {
        return;
    }
    m_entries[id - 1].checked = checked;
    emit m_adaptor->ItemsPropertiesUpdated(
        {{id, {{QStringLiteral("toggle-state"), checked ? 1 : 0}}}}, {});
}

void DBusMenuExporter::failCurrentCall(const QString& why) {
    if (calledFromDBus()) {
        sendErrorReply(QDBusError::InvalidArgs, why);
    }
}

DBusMenuAdaptor::DBusMenuAdaptor(DBusMenuExporter* menu)
    : QDBusAbstractAdaptor(menu), m_menu(menu) {}

QString DBusMenuAdaptor::textDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

bool DBusMenuAdaptor::rejectUnknown(int id) {
    if (m_menu->hasId(id)) {
        return false;
    }
    m_menu->failCurrentCall(QStringLiteral("Unknown menu item %1").arg(id));
    return true;
}

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                DBusMenuLayoutItem& layout) {
    if (!rejectUnknown(parentId)) {
        layout = m_menu->layout(parentId, recursionDepth, propertyNames);
    }
    return kRevision;
}

DBusMenuItemPropertiesList DBusMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                               const QStringList& propertyNames) {
    QList<int> wanted = ids;
    if (wanted.isEmpty()) {
        for (int id = 0; id <= m_menu->entries().size(); ++id) {
            wanted.append(id);
        }
    }
    DBusMenuItemPropertiesList out;
    for (int id : wanted) {
        if (m_menu->hasId(id)) {
            out.append({id, filtered(m_menu->propertiesOf(id), propertyNames)});
        }
    }
    return out;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString& name) {
    if (rejectUnknown(id)) {
        return {};
    }
    const QVariant value = m_menu->propertiesOf(id).value(name);
    if (!value.isValid()) {
        m_menu->failCurrentCall(QStringLiteral("No property %1").arg(name));
        return {};
    }
    return QDBusVariant(value);
}

void DBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant& /*data*/,
                            uint /*timestamp*/) {
    if (rejectUnknown(id)) {
        return;
    }
    if (eventId == QLatin1String("clicked")) {
        m_menu->click(id);
    }
}

QList<int> DBusMenuAdaptor::EventGroup(const DBusMenuEventList& events) {
    QList<int> errors;
    for (const DBusMenuEvent& event : events) {
        if (!m_menu->hasId(event.id)) {
            errors.append(event.id);
        } else if (event.eventId == QLatin1String("clicked")) {
            m_menu->click(event.id);
        }
    }
    if (!events.isEmpty() && errors.size() == events.size()) {
        m_menu->failCurrentCall(QStringLiteral("No such menu items"));
    }
    return errors;
}

bool DBusMenuAdaptor::AboutToShow(int id) {
    rejectUnknown(id);
    return false;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    for (int id : ids) {
        if (!m_menu->hasId(id)) {
            idErrors.append(id);
        }
    }
    return {};
}

}  // namespace mintlux
