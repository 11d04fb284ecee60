#pragma once

#include "http/HttpMessage.h"

#include <chrono>
#include <functional>
#include <unordered_set>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpServer;

namespace mintlux::server {

class HttpConnection;

// A small HTTP/1.1 server for GET-only JSON APIs on the event loop's thread: keep-alive and
// pipelining, and the limits that keep a misbehaving client from costing more than its share.
class HttpServer : public QObject {
public:
    struct Limits {
        qsizetype maxRequestLine = 8 * 1024;   // longer: 414
        qsizetype maxHeaderBytes = 16 * 1024;  // request line and headers together: 431
        // From a request's first byte to its blank line, however slowly the bytes trickle in.
        std::chrono::milliseconds headerTimeout{10'000};
        std::chrono::milliseconds idleTimeout{30'000};
        // Beyond this, new clients wait in the kernel's backlog. With the output bound below
        // and the 64 KB read buffer, connections can pin at most a few hundred megabytes even
        // with the largest history document.
        int maxConnections = 256;
        // A client that stops reading stops being read once this much output waits for it.
        qsizetype maxPendingOutput = 256 * 1024;
    };

    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    HttpServer(Handler handler, Limits limits, QObject* parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    // A socket already listening, e.g. handed over by the service manager.
    bool adoptListeningSocket(int fd);
    QString errorString() const;
    quint16 port() const;

    std::size_t connectionCount() const { return m_connections.size(); }
    const Limits& limits() const { return m_limits; }
    const Handler& handler() const { return m_handler; }
    // Milliseconds on a monotonic clock, shared by every connection's deadlines.
    qint64 monotonicMs() const { return m_clock.elapsed(); }
    // The Date header's value, formatted once a second.
    const QByteArray& httpDate();

    void connectionClosed(HttpConnection* connection);

private:
    void acceptPending();
    void sweep();

    Handler m_handler;
    Limits m_limits;
    QTcpServer* m_server;
    QTimer m_sweepTimer;
    QElapsedTimer m_clock;
    std::unordered_set<HttpConnection*> m_connections;
    std::int64_t m_dateSecond = -1;
    QByteArray m_date;
};

}  // namespace mintlux::server
