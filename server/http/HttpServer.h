#pragma once

#include "http/HttpMessage.h"

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QThread;

namespace mintlux::server {

class HttpWorker;

// A small HTTP/1.1 server for GET-only JSON APIs: keep-alive and pipelining, and the limits
// that keep a misbehaving client from costing more than its share. The listening socket is
// served on the caller's thread; connections are spread over worker threads, so the handler
// must be safe to call from several threads at once.
class HttpServer : public QObject {
    Q_OBJECT

public:
    struct Limits {
        qsizetype maxRequestLine = 8 * 1024;   // longer: 414
        qsizetype maxHeaderBytes = 16 * 1024;  // request line and headers together: 431
        // From a request's first byte to its blank line, however slowly the bytes trickle in.
        std::chrono::milliseconds headerTimeout{10'000};
        std::chrono::milliseconds idleTimeout{30'000};
        // Beyond this, new clients wait (in a short queue, then in the kernel's backlog). With
        // the output bound below and the 64 KB read buffer, connections can pin at most a few
        // hundred megabytes even with the largest history document.
        int maxConnections = 256;
        // A client that stops reading stops being read once this much output waits for it.
        qsizetype maxPendingOutput = 256 * 1024;
        // Serving threads; 0 serves on the caller's thread.
        int threads = 2;
    };

    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    HttpServer(Handler handler, Limits limits, QObject* parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    // A socket already listening, e.g. handed over by the service manager.
    bool adoptListeningSocket(int fd);
    QString errorString() const;
    quint16 port() const;

    // Open connections, as seen from the caller's thread.
    int connectionCount() const { return m_open; }

signals:
    // A worker's connection ended; emitted on that worker's thread.
    void connectionClosed(QPrivateSignal);

private:
    void incoming(qintptr descriptor);
    void dispatch(qintptr descriptor);
    void connectionEnded();

    Limits m_limits;
    QTcpServer* m_listener;
    std::vector<HttpWorker*> m_workers;
    std::vector<QThread*> m_threads;
    std::size_t m_next = 0;
    int m_open = 0;
    std::deque<qintptr> m_waiting;
};

}  // namespace mintlux::server
