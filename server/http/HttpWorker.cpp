#include "http/HttpWorker.h"

#include "http/HttpConnection.h"

#include <algorithm>
#include <ctime>
#include <unistd.h>
#include <vector>

#include <QTcpSocket>

namespace mintlux::server {

HttpWorker::HttpWorker(const HttpServer::Limits& limits, HttpServer::Handler handler,
                       std::function<void()> closed,
                       std::shared_ptr<const std::atomic<bool>> crowded)
    : m_limits(limits),
      m_handler(std::move(handler)),
      m_closed(std::move(closed)),
      m_crowded(std::move(crowded)),
      m_sweepTimer(this) {
    m_clock.start();
    // Deadlines are checked in sweeps rather than with a timer per connection, so a request
    // costs no timer restart; a deadline is overshot by at most one sweep interval.
    const auto shortest = std::min(m_limits.headerTimeout, m_limits.idleTimeout);
    m_sweepTimer.setInterval(
        std::clamp(shortest / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000)));
    connect(&m_sweepTimer, &QTimer::timeout, this, &HttpWorker::sweep);
    // Descriptors cross threads under a mutex ThreadSanitizer understands; the signal only wakes
    // the worker.
    connect(this, &HttpWorker::handed, this, &HttpWorker::adoptHanded, Qt::QueuedConnection);
    m_sweepTimer.start();
}

HttpWorker::~HttpWorker() {
    m_shuttingDown = true;
    for (const qintptr descriptor : m_handed) {
        ::close(static_cast<int>(descriptor));
    }
    for (HttpConnection* c :
         std::vector<HttpConnection*>(m_connections.begin(), m_connections.end())) {
        delete c;
    }
}

void HttpWorker::hand(qintptr descriptor) {
    {
        const std::lock_guard lock(m_handedLock);
        m_handed.push_back(descriptor);
    }
    emit handed(QPrivateSignal());
}

void HttpWorker::adoptHanded() {
    std::vector<qintptr> handed;
    {
        const std::lock_guard lock(m_handedLock);
        handed.swap(m_handed);
    }
    for (const qintptr descriptor : handed) {
        adopt(descriptor);
    }
}

void HttpWorker::adopt(qintptr descriptor) {
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(static_cast<int>(descriptor));
        m_closed();
        return;
    }
    m_connections.insert(new HttpConnection(*this, socket));
}

void HttpWorker::connectionClosed(HttpConnection* connection) {
    if (m_connections.erase(connection) > 0 && !m_shuttingDown) {
        m_closed();
    }
}

const QByteArray& HttpWorker::httpDate() {
    const std::time_t now = std::time(nullptr);
    if (now != m_dateSecond) {
        m_dateSecond = now;
        std::tm tm{};
        gmtime_r(&now, &tm);
        // By hand: strftime's names follow the process locale, which Qt sets from the
        // environment.
        static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char buf[40];
        std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday],
                      tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                      tm.tm_sec);
        m_date = QByteArray(buf);
    }
    return m_date;
}

void HttpWorker::sweep() {
    const qint64 now = monotonicMs();
    const bool crowdedNow = crowded();
    for (HttpConnection* c :
         std::vector<HttpConnection*>(m_connections.begin(), m_connections.end())) {
        if (m_connections.contains(c)) {
            c->checkDeadline(now, crowdedNow);
        }
    }
}

}  // namespace mintlux::server
