#include "LoopbackHttpServer.h"

#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

namespace mintlux::test {

namespace {

// Clients go by the code; the phrase is only for people reading a capture.
QByteArray reason(int status) {
    static const std::map<int, QByteArray> phrases{
        {200, "OK"}, {302, "Found"}, {404, "Not Found"}, {500, "Internal Server Error"}};
    const auto it = phrases.find(status);
    return it == phrases.end() ? "Status" : it->second;
}

QByteArray head(const LoopbackHttpServer::Response& r, qsizetype contentLength) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reason(r.status) + "\r\n";
    out += "Content-Type: " + r.contentType + "\r\n";
    if (r.declareLength) {
        out += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    }
    out += "Connection: close\r\n";
    for (const auto& [name, value] : r.extraHeaders) {
        out += name + ": " + value + "\r\n";
    }
    return out + "\r\n";
}

}  // namespace

QByteArray LoopbackHttpServer::Request::queryItem(const QByteArray& name) const {
    for (const QByteArray& item : target.mid(target.indexOf('?') + 1).split('&')) {
        const qsizetype eq = item.indexOf('=');
        if (eq >= 0 && item.left(eq) == name) {
            return item.mid(eq + 1);
        }
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer(std::optional<TlsIdentity> tls, quint16 port)
    : m_tls(tls.has_value()) {
    if (tls) {
        auto* server = new QSslServer(this);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(tls->certificate);
        config.setPrivateKey(tls->key);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(config);
        m_server = server;
    } else {
        m_server = new QTcpServer(this);
    }
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (m_server->hasPendingConnections()) {
            accept(m_server->nextPendingConnection());
        }
    });
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        qFatal("loopback server cannot listen: %s", qPrintable(m_server->errorString()));
    }
    route("/", Response{404, "not found", "text/plain"});
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_server->close();
}

QUrl LoopbackHttpServer::baseUrl() const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2/")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(port()));
}

void LoopbackHttpServer::route(const QByteArray& path, Response response) {
    m_routes[path] = [response](const Request&) { return response; };
}

void LoopbackHttpServer::route(const QByteArray& path, Handler handler) {
    m_routes[path] = std::move(handler);
}

QByteArrayList LoopbackHttpServer::targets() const {
    QByteArrayList out;
    for (const Request& r : m_requests) {
        out << r.target;
    }
    return out;
}

int LoopbackHttpServer::count(const QByteArray& path) const {
    return static_cast<int>(std::count_if(m_requests.begin(), m_requests.end(),
                                          [&](const Request& r) { return r.path == path; }));
}

void LoopbackHttpServer::release() {
    auto held = std::move(m_held);
    m_held.clear();
    for (auto& [socket, response] : held) {
        if (socket) {
            response.mode = Mode::normal;
            answer(socket, response);
        }
    }
}

LoopbackHttpServer::Response LoopbackHttpServer::redirect(const QByteArray& location) {
    Response r{302, {}, "text/plain"};
    r.extraHeaders.append({"Location", location});
    return r;
}

void LoopbackHttpServer::accept(QTcpSocket* socket) {
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_buffers.erase(socket);
        socket->deleteLater();
    });
    readRequest(socket);
}

void LoopbackHttpServer::readRequest(QTcpSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        return;
    }
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.clear();
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    const qsizetype q = request.target.indexOf('?');
    request.path = q < 0 ? request.target : request.target.left(q);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) {
            request.headers[lines[i].left(colon).trimmed().toLower()] =
                lines[i].mid(colon + 1).trimmed();
        }
    }
    m_requests.push_back(request);

    const auto route = m_routes.find(request.path);
    const Response response = (route != m_routes.end() ? route->second : m_routes["/"])(request);
    answer(socket, response);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const Response& response) {
    switch (response.mode) {
        case Mode::normal:
            socket->write(head(response, response.body.size()) + response.body);
            socket->disconnectFromHost();  // after what is still buffered
            return;
        case Mode::silent:
            return;
        case Mode::notHttp:
            socket->write("SSH-2.0-OpenSSH_9.2\r\n\r\n");
            socket->disconnectFromHost();
            return;
        case Mode::held:
            m_held.emplace_back(socket, response);
            return;
        case Mode::closeMidBody:
            socket->write(head(response, response.body.size()) +
                          response.body.left(response.body.size() / 2));
            socket->flush();
            socket->disconnectFromHost();
            return;
        case Mode::slowBody: {
            socket->write(head(response, response.body.size()));
            const qsizetype piece = response.body.size() / response.chunks + 1;
            auto* timer = new QTimer(socket);
            auto offset = std::make_shared<qsizetype>(0);
            connect(timer, &QTimer::timeout, socket, [socket, timer, offset, response, piece] {
                socket->write(response.body.mid(*offset, piece));
                *offset += piece;
                if (*offset >= response.body.size()) {
                    timer->stop();
                    socket->disconnectFromHost();
                }
            });
            timer->start(response.chunkDelay);
            return;
        }
    }
}

}  // namespace mintlux::test
