#pragma once

#include "http/HttpMessage.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QSocketNotifier;
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
        // Beyond this, new clients wait for a slot (see kMaxWaiting). With the output bound
        // below and the 64 KB read buffer, connections can pin at most a few hundred megabytes
        // even with the largest history document.
        int maxConnections = 256;
        // While clients wait for a slot, a connection gives its slot up at the end of the first
        // answer after it has held it this long, once its client has nothing more in the
        // pipeline (or held it ten times this long). Long enough to spread the cost of a new
        // connection over many answers.
        std::chrono::milliseconds turn{100};
        // A client that stops reading stops being read once this much output waits for it.
        qsizetype maxPendingOutput = 256 * 1024;
        // Serving threads; 0 serves on the caller's thread.
        int threads = 2;
    };

    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    // Clients accepted beyond the connection cap wait here, in order, for a slot; while any
    // wait, connections are closed (Connection: close) at the end of their turn (Limits::turn)
    // or after half a second idle, so a waiting client is served within about
    // waiting / maxConnections turns. Past this bound the listener stops accepting: later
    // clients wait in the kernel's backlog (kListenBacklog), and past that the kernel drops
    // their connection attempts, which clients retry after a second or more. Nobody is reset.
    static constexpr std::size_t kMaxWaiting = 4096;
    static constexpr int kListenBacklog = 4096;

    HttpServer(Handler handler, Limits limits, QObject* parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    // A socket already listening, e.g. handed over by the service manager.
    bool adoptListeningSocket(int fd);
    QString errorString() const;
    quint16 port() const;

    // Open connections, as seen from the caller's thread.
    int connectionCount() const { return m_open; }
    // Clients accepted and waiting for a slot.
    std::size_t waitingCount() const { return m_waiting.size(); }

signals:
    // A worker's connection ended; emitted on that worker's thread.
    void connectionClosed(QPrivateSignal);

private:
    bool startListening(int fd);
    void acceptAll();
    void pauseAccepting();
    void dispatch(qintptr descriptor);
    void connectionEnded();
    void updateCrowded();

    Limits m_limits;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_retry;  // accepting again after the process ran out of descriptors
    QString m_error;
    std::shared_ptr<std::atomic<bool>> m_crowded = std::make_shared<std::atomic<bool>>(false);
    std::vector<HttpWorker*> m_workers;
    std::vector<QThread*> m_threads;
    std::size_t m_next = 0;
    int m_open = 0;
    std::deque<qintptr> m_waiting;
};

}  // namespace mintlux::server
