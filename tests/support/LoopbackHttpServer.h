#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace mintlux::test {

// A small HTTP/1.1 server on 127.0.0.1 serving canned answers, optionally over TLS. It runs on
// the test's own event loop and records every request it reads.
class LoopbackHttpServer : public QObject {
public:
    enum class Mode {
        normal,        // the whole answer at once
        slowBody,      // the body in `chunks` pieces, `chunkDelay` apart
        closeMidBody,  // a Content-Length for the whole body, half of it, then the connection
                       // closes
        silent,        // reads the request and never answers
        held,          // answers when release() is called
        notHttp,       // a line that is no HTTP status, then closes
    };

    struct Response {
        Response(int status_ = 200, QByteArray body_ = {},
                 QByteArray contentType_ = "application/json", Mode mode_ = Mode::normal)
            : status(status_),
              body(std::move(body_)),
              contentType(std::move(contentType_)),
              mode(mode_) {}

        int status;
        QByteArray body;
        QByteArray contentType;
        Mode mode;
        QList<std::pair<QByteArray, QByteArray>> extraHeaders;  // e.g. a redirect's Location
        int chunks = 10;
        std::chrono::milliseconds chunkDelay{20};
        bool declareLength = true;  // false: the body ends when the connection closes
    };

    struct Request {
        QByteArray method;
        QByteArray target;                         // path and query as sent
        QByteArray path;                           // up to the '?'
        std::map<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray queryItem(const QByteArray& name) const;
    };

    using Handler = std::function<Response(const Request&)>;

    struct TlsIdentity {
        QSslCertificate certificate;
        QSslKey key;
    };

    // Port 0 picks a free one; a fixed port is for a client whose address is built in.
    explicit LoopbackHttpServer(std::optional<TlsIdentity> tls = std::nullopt, quint16 port = 0);
    ~LoopbackHttpServer() override;

    QUrl baseUrl() const;  // "http://127.0.0.1:<port>/" or https
    quint16 port() const { return m_server->serverPort(); }
    // Stops listening, so new connections are refused.
    void close() { m_server->close(); }

    void route(const QByteArray& path, Response response);
    void route(const QByteArray& path, Handler handler);

    const std::vector<Request>& requests() const { return m_requests; }
    // For long runs (benchmarks) that would otherwise keep every request.
    void forgetRequests() { m_requests.clear(); }
    QByteArrayList targets() const;  // of every request, in order
    int count(const QByteArray& path) const;
    // Answers every held request.
    void release();
    int heldCount() const { return static_cast<int>(m_held.size()); }

    static Response redirect(const QByteArray& location);

private:
    void accept(QTcpSocket* socket);
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Response& response);

    QTcpServer* m_server;
    bool m_tls;
    std::map<QByteArray, Handler> m_routes;
    std::vector<Request> m_requests;
    std::map<QTcpSocket*, QByteArray> m_buffers;
    std::vector<std::pair<QPointer<QTcpSocket>, Response>> m_held;
};

}  // namespace mintlux::test
