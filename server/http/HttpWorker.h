#pragma once

#include "http/HttpServer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace mintlux::server {

class HttpConnection;

// One serving thread's share of the connections: their sockets, deadlines and Date header.
// Lives on its own thread; everything here runs there.
class HttpWorker : public QObject {
    Q_OBJECT

public:
    // `closed` runs on this thread each time a connection ends; `crowded` is set while clients
    // wait for a slot.
    HttpWorker(const HttpServer::Limits& limits, HttpServer::Handler handler,
               std::function<void()> closed, std::shared_ptr<const std::atomic<bool>> crowded);
    ~HttpWorker() override;

    // Passes an accepted socket to this worker's thread; callable from any thread.
    void hand(qintptr descriptor);
    void connectionClosed(HttpConnection* connection);

    const HttpServer::Limits& limits() const { return m_limits; }
    const HttpServer::Handler& handler() const { return m_handler; }
    bool crowded() const { return m_crowded->load(std::memory_order_relaxed); }
    // Milliseconds on a monotonic clock, for the connections' deadlines.
    qint64 monotonicMs() const { return m_clock.elapsed(); }
    // The Date header's value, formatted once a second.
    const QByteArray& httpDate();

signals:
    void handed(QPrivateSignal);

private:
    void adoptHanded();
    void adopt(qintptr descriptor);
    void sweep();

    HttpServer::Limits m_limits;
    HttpServer::Handler m_handler;
    std::function<void()> m_closed;
    std::shared_ptr<const std::atomic<bool>> m_crowded;
    QTimer m_sweepTimer;
    QElapsedTimer m_clock;
    std::unordered_set<HttpConnection*> m_connections;
    std::int64_t m_dateSecond = -1;
    QByteArray m_date;
    bool m_shuttingDown = false;
    std::mutex m_handedLock;
    std::vector<qintptr> m_handed;  // guarded by m_handedLock
};

}  // namespace mintlux::server
