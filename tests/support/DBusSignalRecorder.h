#pragma once

#include <algorithm>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>

namespace mintlux::test {

// Listens, as a separate bus peer would, to signals of one object and keeps them in order.
class DBusSignalRecorder : public QObject {
    Q_OBJECT

public:
    DBusSignalRecorder(QDBusConnection connection, const QString& service, const QString& path,
                       const QString& interface, const QStringList& names)
        : m_connection(std::move(connection)) {
        for (const QString& name : names) {
            m_connection.connect(service, path, interface, name, this, SLOT(record(QDBusMessage)));
        }
    }

    QList<QDBusMessage> received;

    qsizetype count(const QString& member) const {
        return std::count_if(received.cbegin(), received.cend(),
                             [&](const QDBusMessage& m) { return m.member() == member; });
    }
    QDBusMessage last(const QString& member) const {
        const auto it = std::find_if(received.crbegin(), received.crend(),
                                     [&](const QDBusMessage& m) { return m.member() == member; });
        return it == received.crend() ? QDBusMessage() : *it;
    }

private slots:
    void record(const QDBusMessage& message) { received.append(message); }

private:
    QDBusConnection m_connection;
};

}  // namespace mintlux::test
