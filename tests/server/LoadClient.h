#pragma once

#include "ServiceFixture.h"

#include <functional>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include <QStringList>

namespace mintlux::test {

// Raises this process's open-file soft limit to its hard limit, as the service does; whether
// `needed` descriptors fit then.
inline bool openFilesFor(rlim_t needed) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_max >= needed;
}

// Many clients on the test's event loop, each sending its requests one after another over
// keep-alive, and connecting again whenever the server closes after an answer (as HTTP clients
// do). Every answer is checked whole. A connection lost before its answer is an error, except
// that a request on a kept-alive connection the server closed just then is sent again once on a
// new one, as HTTP lets clients do for such a request.
class LoadClient {
public:
    // What is wrong with `answer` to `request`; empty when nothing is.
    using Check = std::function<QString(int request, const RawAnswer& answer)>;
    struct Result {
        int answers = 0;
        int closes = 0;   // answers that ended their connection
        int retries = 0;  // requests sent again after a kept-alive connection closed
        QStringList errors;
    };

    LoadClient(quint16 port, QByteArrayList requests, Check check)
        : m_port(port), m_requests(std::move(requests)), m_check(std::move(check)) {}

    // `tick` runs between events while the clients work.
    Result run(int connections, int requestsEach, std::chrono::milliseconds timeout,
               const std::function<void()>& tick = {}) {
        m_each = requestsEach;
        m_result = {};
        for (int i = 0; i < connections; ++i) {
            auto c = std::make_unique<Client>();
            c->index = i;
            Client* raw = c.get();
            QObject::connect(&c->socket, &QTcpSocket::connected, [this, raw] { send(*raw); });
            QObject::connect(&c->socket, &QTcpSocket::readyRead, [this, raw] { read(*raw); });
            QObject::connect(&c->socket, &QTcpSocket::disconnected, [this, raw] { ended(*raw); });
            QObject::connect(&c->socket, &QTcpSocket::errorOccurred,
                             [this, raw](QAbstractSocket::SocketError e) {
                                 if (e != QAbstractSocket::RemoteHostClosedError) {
                                     fail(*raw, "socket error: " + raw->socket.errorString());
                                 }
                             });
            c->socket.connectToHost(QHostAddress::LocalHost, m_port);
            m_clients.push_back(std::move(c));
        }
        const bool finished = waitUntil(
            [&] {
                if (tick) {
                    tick();
                }
                return std::all_of(m_clients.begin(), m_clients.end(), [this](const auto& c) {
                    return c->done == m_each || c->failed;
                });
            },
            timeout);
        if (!finished) {
            m_result.errors << QStringLiteral("clients still waiting at the time-out");
        }
        m_clients.clear();
        return m_result;
    }

private:
    struct Client {
        QTcpSocket socket;
        int index = 0;
        QByteArray pending;
        int done = 0;
        int sent = 0;
        int onThisConnection = 0;  // answers
        bool retried = false;
        bool failed = false;
    };

    // Each client starts at another request, so all of them are asked at once.
    int requestOf(const Client& c) const {
        return static_cast<int>((c.index + c.done) % m_requests.size());
    }

    void send(Client& c) {
        if (c.done < m_each && c.sent == c.done) {
            ++c.sent;
            c.socket.write(m_requests[requestOf(c)]);
        }
    }

    void read(Client& c) {
        c.pending += c.socket.readAll();
        RawAnswer answer;
        while (!c.failed && takeAnswer(c.pending, answer)) {
            const QString wrong = m_check(requestOf(c), answer);
            if (!wrong.isEmpty()) {
                fail(c, wrong);
                return;
            }
            ++c.done;
            ++c.onThisConnection;
            c.retried = false;
            ++m_result.answers;
            if (answer.header("Connection").toLower() == "close") {
                ++m_result.closes;
            } else {
                send(c);
            }
        }
    }

    void ended(Client& c) {
        if (c.failed || c.done == m_each) {
            return;
        }
        if (c.sent > c.done) {
            if (c.onThisConnection == 0 || c.retried) {
                fail(c, QStringLiteral("connection closed before an answer"));
                return;
            }
            c.retried = true;
            c.sent = c.done;
            ++m_result.retries;
        }
        c.onThisConnection = 0;
        QMetaObject::invokeMethod(
            &c.socket, [this, &c] { c.socket.connectToHost(QHostAddress::LocalHost, m_port); },
            Qt::QueuedConnection);
    }

    void fail(Client& c, const QString& why) {
        if (!c.failed) {
            c.failed = true;
            m_result.errors << why;
        }
    }

    quint16 m_port;
    QByteArrayList m_requests;
    Check m_check;
    int m_each = 0;
    std::vector<std::unique_ptr<Client>> m_clients;
    Result m_result;
};

}  // namespace mintlux::test
