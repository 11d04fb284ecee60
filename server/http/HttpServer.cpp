#include "http/HttpServer.h"

#include "http/HttpWorker.h"

#include <unistd.h>

#include <QTcpServer>
#include <QThread>

namespace mintlux::server {

namespace {

// Hands accepted descriptors over instead of making sockets on the listening thread.
class Listener final : public QTcpServer {
public:
    Listener(std::function<void(qintptr)> incoming, QObject* parent)
        : QTcpServer(parent), m_incoming(std::move(incoming)) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_incoming(descriptor); }

private:
    std::function<void(qintptr)> m_incoming;
};

// Accepted beyond the connection cap and held until a slot frees; past this they are closed.
constexpr std::size_t kMaxWaiting = 256;

}  // namespace

HttpServer::HttpServer(Handler handler, Limits limits, QObject* parent)
    : QObject(parent),
      m_limits(limits),
      m_listener(new Listener([this](qintptr fd) { incoming(fd); }, this)) {
    // Signals connected up front rather than a queued call per event: Qt's event queue locks
    // with futexes ThreadSanitizer cannot see, so a call object made per event looked like a
    // race; a connection made before the threads start does not.
    connect(this, &HttpServer::connectionClosed, this, &HttpServer::connectionEnded,
            Qt::QueuedConnection);
    auto closed = [this] { emit connectionClosed(QPrivateSignal()); };
    if (m_limits.threads <= 0) {
        auto* worker = new HttpWorker(m_limits, handler, closed);
        worker->setParent(this);
        m_workers.push_back(worker);
        return;
    }
    for (int i = 0; i < m_limits.threads; ++i) {
        auto* thread = new QThread;
        thread->setObjectName(QStringLiteral("http-%1").arg(i));
        auto* worker = new HttpWorker(m_limits, handler, closed);
        worker->moveToThread(thread);
        connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        thread->start();
        m_threads.push_back(thread);
        m_workers.push_back(worker);
    }
}

HttpServer::~HttpServer() {
    m_listener->close();
    for (QThread* thread : m_threads) {
        thread->quit();
        thread->wait();
        delete thread;
    }
    for (const qintptr fd : m_waiting) {
        ::close(static_cast<int>(fd));
    }
}

bool HttpServer::listen(const QHostAddress& address, quint16 port) {
    // Qt's default of 50 drops SYNs as soon as a burst of clients exceeds it; they then retry
    // a second later.
    m_listener->setListenBacklogSize(1024);
    return m_listener->listen(address, port);
}

bool HttpServer::adoptListeningSocket(int fd) {
    return m_listener->setSocketDescriptor(fd);
}

QString HttpServer::errorString() const {
    return m_listener->errorString();
}

quint16 HttpServer::port() const {
    return m_listener->serverPort();
}

void HttpServer::incoming(qintptr descriptor) {
    if (m_open < m_limits.maxConnections) {
        dispatch(descriptor);
        return;
    }
    // Qt keeps accepting until the backlog is empty, so the ones over the cap wait here and
    // later ones in the kernel's backlog.
    m_listener->pauseAccepting();
    if (m_waiting.size() < kMaxWaiting) {
        m_waiting.push_back(descriptor);
    } else {
        ::close(static_cast<int>(descriptor));
    }
}

void HttpServer::dispatch(qintptr descriptor) {
    ++m_open;
    HttpWorker* worker = m_workers[m_next++ % m_workers.size()];
    worker->hand(descriptor);
}

void HttpServer::connectionEnded() {
    --m_open;
    if (!m_waiting.empty()) {
        const qintptr next = m_waiting.front();
        m_waiting.pop_front();
        dispatch(next);
    } else if (m_open < m_limits.maxConnections) {
        m_listener->resumeAccepting();
    }
}

}  // namespace mintlux::server
