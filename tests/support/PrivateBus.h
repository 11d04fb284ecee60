#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace mintlux::test {

// Starts a session bus of our own (once per process) and points DBUS_SESSION_BUS_ADDRESS at
// it, so tests never see the desktop's bus or its services. It has no service activation:
// a name nobody owns stays unowned. Returns the bus address.
QString ensurePrivateSessionBus();
void stopPrivateSessionBus();

// Starts a helper program that ends with the test process (a crash included); throws if it
// does not start.
void startChild(QProcess& process, const QString& program, const QStringList& arguments);
// The same for a server, returning the first line it prints (its address or display).
QByteArray startServer(QProcess& process, const QString& program, const QStringList& arguments);

}  // namespace mintlux::test
