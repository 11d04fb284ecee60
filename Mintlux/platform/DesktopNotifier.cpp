#include "platform/DesktopNotifier.h"

#include <utility>

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QVariantMap>

namespace mintlux {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QString noServerText() {
    return QStringLiteral(
        "No notification server is running on this desktop: alerts show in the popup and the "
        "status item's tooltip only.");
}

}  // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

void DesktopNotifier::start() {
    if (std::exchange(m_started, true)) {
        return;
    }
    if (!m_bus.isConnected()) {
        setAvailability(Availability::unavailable, noServerText());
        return;
    }
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    // A server that starts or restarts later is asked again, and ids of the old one mean nothing.
    auto* watcher =
        new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &DesktopNotifier::onServiceOwnerChanged);
    probe();
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::setAvailability(Availability availability, const QString& problem) {
    if (availability == m_availability && problem == m_problem) {
        return;
    }
    m_availability = availability;
    m_problem = problem;
    emit availabilityChanged();
}

void DesktopNotifier::probe() {
    if (m_probing || !m_bus.isConnected()) {
        return;
    }
    m_probing = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                             QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_probing = false;
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            m_capabilities.clear();
            setAvailability(Availability::unavailable, noServerText());
        } else {
            m_capabilities = reply.value();
            setAvailability(Availability::available, {});
        }
        // Without a server the queue is dropped: the alerts are already in the popup.
        auto queued = std::exchange(m_queue, {});
        if (m_availability == Availability::available) {
            for (const Queued& message : queued) {
                send(message);
            }
        }
    });
}

void DesktopNotifier::onServiceOwnerChanged() {
    m_ids.clear();
    m_availability = Availability::unknown;
    probe();
}

void DesktopNotifier::notify(const QString& key, const QString& summary, const QString& body,
                             const std::vector<Action>& actions) {
    start();
    Queued message{key, summary, body, actions};
    if (m_availability == Availability::available) {
        send(message);
        return;
    }
    // Asked again each time: a server may have appeared since (or be activatable).
    m_queue.push_back(std::move(message));
    probe();
}

void DesktopNotifier::send(const Queued& message) {
    QStringList actions;
    if (supportsActions()) {
        for (const Action& action : message.actions) {
            actions << action.key << action.label;
        }
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kDesktopEntry);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Mintlux") << m_ids.value(message.key) << QStringLiteral("MintluxIcon")
         << message.summary << message.body << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key = message.key](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    setAvailability(Availability::unavailable,
                                    QStringLiteral("The notification server refused an alert: ") +
                                        reply.error().message().left(200));
                    return;
                }
                m_ids.insert(key, reply.value());
            });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it) {
        if (it.value() == id) {
            emit actionInvoked(it.key(), action);
            return;
        }
    }
}

}  // namespace mintlux
