#include "http/HttpServer.h"

#include "ServiceLog.h"
#include "http/HttpWorker.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QThread>

namespace mintlux::server {

namespace {

QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

HttpServer::HttpServer(Handler handler, Limits limits, QObject* parent)
    : QObject(parent), m_limits(limits), m_retry(this) {
    // Signals connected up front rather than a queued call per event: Qt's event queue locks
    // with futexes ThreadSanitizer cannot see, so a call object made per event looked like a
    // race; a connection made before the threads start does not.
    connect(this, &HttpServer::connectionClosed, this, &HttpServer::connectionEnded,
            Qt::QueuedConnection);
    m_retry.setSingleShot(true);
    m_retry.setInterval(100);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier != nullptr) {
            m_notifier->setEnabled(true);
        }
    });
    auto closed = [this] { emit connectionClosed(QPrivateSignal()); };
    if (m_limits.threads <= 0) {
        auto* worker = new HttpWorker(m_limits, handler, closed, m_crowded);
        worker->setParent(this);
        m_workers.push_back(worker);
        return;
    }
    for (int i = 0; i < m_limits.threads; ++i) {
        auto* thread = new QThread;
        thread->setObjectName(QStringLiteral("http-%1").arg(i));
        auto* worker = new HttpWorker(m_limits, handler, closed, m_crowded);
        worker->moveToThread(thread);
        connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        thread->start();
        m_threads.push_back(thread);
        m_workers.push_back(worker);
    }
}

HttpServer::~HttpServer() {
    delete m_notifier;
    if (m_fd >= 0) {
        ::close(m_fd);
    }
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
    // Any: both families on one socket.
    const bool v6 = address.protocol() != QAbstractSocket::IPv4Protocol;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = lastError();
        return false;
    }
    const int on = 1;
    const int off = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (v6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, address == QHostAddress::Any ? &off : &on,
                     sizeof on);
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        const Q_IPV6ADDR ip = address.toIPv6Address();
        std::memcpy(&a->sin6_addr, &ip, sizeof ip);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::listen(fd, kListenBacklog) != 0) {
        m_error = lastError();
        ::close(fd);
        return false;
    }
    return startListening(fd);
}

bool HttpServer::adoptListeningSocket(int fd) {
    int listening = 0;
    socklen_t size = sizeof listening;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0) {
        m_error = QStringLiteral("descriptor %1 is no listening socket").arg(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return startListening(fd);
}

bool HttpServer::startListening(int fd) {
    m_fd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HttpServer::acceptAll);
    return true;
}

QString HttpServer::errorString() const {
    return m_error;
}

quint16 HttpServer::port() const {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        return 0;
    }
    return ntohs(storage.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

void HttpServer::acceptAll() {
    for (;;) {
        if (m_open >= m_limits.maxConnections && m_waiting.size() >= kMaxWaiting) {
            m_notifier->setEnabled(false);
            break;
        }
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            if (m_open < m_limits.maxConnections) {
                dispatch(fd);
            } else {
                m_waiting.push_back(fd);
            }
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            pauseAccepting();
        }
        break;
    }
    updateCrowded();
}

void HttpServer::pauseAccepting() {
    // Out of descriptors (or memory): the clients stay in the backlog while the connections
    // that close, sooner now that others wait, free some.
    if (!m_retry.isActive()) {
        logLine("cannot accept more clients (" + lastError() + ") with " +
                QString::number(m_open + static_cast<int>(m_waiting.size())) +
                " open; the rest wait in the listen backlog");
    }
    m_notifier->setEnabled(false);
    m_retry.start();
}

void HttpServer::dispatch(qintptr descriptor) {
    ++m_open;
    HttpWorker* worker = m_workers[m_next++ % m_workers.size()];
    worker->hand(descriptor);
}

void HttpServer::connectionEnded() {
    --m_open;
    while (m_open < m_limits.maxConnections && !m_waiting.empty()) {
        dispatch(m_waiting.front());
        m_waiting.pop_front();
    }
    if (m_notifier != nullptr && !m_notifier->isEnabled() && !m_retry.isActive()) {
        m_notifier->setEnabled(true);
    }
    updateCrowded();
}

void HttpServer::updateCrowded() {
    m_crowded->store(!m_waiting.empty() || (m_notifier != nullptr && !m_notifier->isEnabled()),
                     std::memory_order_relaxed);
}

}  // namespace mintlux::server
