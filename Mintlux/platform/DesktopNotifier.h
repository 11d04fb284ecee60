#pragma once

#include <optional>
#include <vector>

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

namespace mintlux {

// Sends notifications to the desktop's notification server over the session bus. Each key (an
// alert rule) keeps one notification that a later one replaces, and actions come back by key.
// Nothing blocks: the server's capabilities are asked once, and notifications wait for that
// answer. Nothing touches the bus before start() or the first notification, so a user without
// alerts never wakes a notification server.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    struct Action {
        QString key;  // "default" is the notification's own click
        QString label;
    };

    enum class Availability { unknown, available, unavailable };

    explicit DesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);
    ~DesktopNotifier() override;

    void start();
    void notify(const QString& key, const QString& summary, const QString& body,
                const std::vector<Action>& actions);

    Availability availability() const { return m_availability; }
    bool supportsActions() const { return m_capabilities.contains(QStringLiteral("actions")); }
    // Why notifications cannot be shown, in a sentence; empty while they can (or may).
    QString problem() const { return m_problem; }
    // The server's id of the key's notification, 0 when none was shown.
    uint notificationId(const QString& key) const { return m_ids.value(key); }

    static inline const QString kDesktopEntry = QStringLiteral("org.mintlux.Mintlux");

signals:
    void actionInvoked(const QString& key, const QString& action);
    void availabilityChanged();

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onServiceOwnerChanged();

private:
    struct Queued {
        QString key;
        QString summary;
        QString body;
        std::vector<Action> actions;
    };

    void probe();
    void send(const Queued& message);
    void setAvailability(Availability availability, const QString& problem);

    QDBusConnection m_bus;
    Availability m_availability = Availability::unknown;
    bool m_started = false;
    bool m_probing = false;
    QStringList m_capabilities;
    QString m_problem;
    QHash<QString, uint> m_ids;
    std::vector<Queued> m_queue;
};

}  // namespace mintlux
