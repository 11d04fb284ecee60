#include "http/HttpServer.h"

#include "http/HttpConnection.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include <QTcpServer>
#include <QTcpSocket>

namespace mintlux::server {

HttpServer::HttpServer(Handler handler, Limits limits, QObject* parent)
    : QObject(parent),
      m_handler(std::move(handler)),
      m_limits(limits),
      m_server(new QTcpServer(this)) {
    m_clock.start();
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::acceptPending);
    // Deadlines are checked in sweeps rather than with a timer per connection, so a request
    // costs no timer restart; a deadline is overshot by at most one sweep interval.
    const auto shortest = std::min(m_limits.headerTimeout, m_limits.idleTimeout);
    m_sweepTimer.setInterval(
        std::clamp(shortest / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000)));
    connect(&m_sweepTimer, &QTimer::timeout, this, &HttpServer::sweep);
    m_sweepTimer.start();
}

HttpServer::~HttpServer() {
    // Connections are our children; they must not call back into a half-destroyed server.
    for (HttpConnection* c :
         std::vector<HttpConnection*>(m_connections.begin(), m_connections.end())) {
        delete c;
    }
}

bool HttpServer::listen(const QHostAddress& address, quint16 port) {
    return m_server->listen(address, port);
}

bool HttpServer::adoptListeningSocket(int fd) {
    return m_server->setSocketDescriptor(fd);
}

QString HttpServer::errorString() const {
    return m_server->errorString();
}

quint16 HttpServer::port() const {
    return m_server->serverPort();
}

const QByteArray& HttpServer::httpDate() {
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

void HttpServer::acceptPending() {
    const auto cap = static_cast<std::size_t>(m_limits.maxConnections);
    while (m_connections.size() < cap && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        m_connections.insert(new HttpConnection(*this, socket));
    }
    if (m_connections.size() >= cap) {
        m_server->pauseAccepting();
    }
}

void HttpServer::connectionClosed(HttpConnection* connection) {
    if (m_connections.erase(connection) > 0 &&
        m_connections.size() < static_cast<std::size_t>(m_limits.maxConnections)) {
        m_server->resumeAccepting();
        acceptPending();
    }
}

void HttpServer::sweep() {
    const qint64 now = monotonicMs();
    for (HttpConnection* c :
         std::vector<HttpConnection*>(m_connections.begin(), m_connections.end())) {
        if (m_connections.contains(c)) {
            c->checkDeadline(now);
        }
    }
}

}  // namespace mintlux::server
