#pragma once

#include <chrono>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTest>

namespace mintlux::test {

// Generous: a loaded 2-core CI machine may take a while, and a passing test never waits it out.
inline constexpr int kTimeoutMs = 15000;

template <class Predicate>
bool waitFor(Predicate&& predicate, int timeoutMs = kTimeoutMs) {
    return QTest::qWaitFor(std::forward<Predicate>(predicate), timeoutMs);
}

// A D-Bus call that keeps this thread's event loop running, so objects living here can answer.
inline QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& message) {
    QDBusPendingCall pending = connection.asyncCall(message, kTimeoutMs);
    waitFor([&] { return pending.isFinished(); });
    return pending.reply();
}

}  // namespace mintlux::test
