#include "http/HttpConnection.h"

#include "http/HttpWorker.h"
#include "json/JsonWriter.h"

#include <cerrno>
#include <charconv>
#include <optional>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <QTcpSocket>

namespace mintlux::server {

namespace {

QByteArrayView reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 414:
            return "URI Too Long";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Unknown";
    }
}

bool isTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t')) {
        v = v.sliced(1);
    }
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
        v.chop(1);
    }
    return v;
}

// Whether an Accept-Encoding value takes gzip: named with a non-zero weight, or not named and
// "*" with a non-zero weight.
bool takesGzip(QByteArrayView value) {
    std::optional<bool> gzip;
    bool any = false;
    for (const QByteArrayView part : QByteArray(value.toByteArray()).split(',')) {
        const qsizetype semicolon = part.indexOf(';');
        const QByteArrayView coding = trimmed(semicolon < 0 ? part : part.first(semicolon));
        bool refused = false;
        if (semicolon >= 0) {
            const QByteArrayView param = trimmed(part.sliced(semicolon + 1));
            if (param.size() > 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
                refused = true;
                for (const char c : trimmed(param.sliced(2))) {
                    refused = refused && (c == '0' || c == '.');
                }
            }
        }
        if (coding.compare("gzip", Qt::CaseInsensitive) == 0 ||
            coding.compare("x-gzip", Qt::CaseInsensitive) == 0) {
            gzip = !refused;
        } else if (coding == "*") {
            any = !refused;
        }
    }
    return gzip.value_or(any);
}

// Whether an If-None-Match value names `etag` (weakly or strongly) or is "*". Our tags hold no
// quote or comma, so the quoted tag found anywhere in the list is one of its members.
bool names(QByteArrayView ifNoneMatch, const QByteArray& etag) {
    return !etag.isEmpty() && (trimmed(ifNoneMatch) == "*" || ifNoneMatch.contains(etag));
}

bool hasToken(QByteArrayView list, QByteArrayView token) {
    for (const QByteArrayView part : QByteArray(list.toByteArray()).split(',')) {
        if (trimmed(part).compare(token, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// How long an idle keep-alive connection keeps its slot while others wait for one.
constexpr qint64 kIdleWhileCrowdedMs = 500;

}  // namespace

HttpConnection::HttpConnection(HttpWorker& worker, QTcpSocket* socket)
    : QObject(&worker), m_worker(worker), m_socket(socket) {
    m_socket->setParent(this);
    // Bounds what one client can make us buffer: beyond it the kernel's window pushes back.
    m_socket->setReadBufferSize(64 * 1024);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_openedMs = m_worker.monotonicMs();
    m_deadlineMs = m_openedMs + m_worker.limits().idleTimeout.count();
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readAvailable);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!m_closing) {
            process();
        }
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnection::abandon);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket != nullptr && m_socket->state() == QAbstractSocket::UnconnectedState) {
            abandon();
        }
    });
    // A client accepted while we were at the connection cap may have sent its request already,
    // and that readyRead went to nobody.
    if (m_socket->bytesAvailable() > 0) {
        QMetaObject::invokeMethod(this, &HttpConnection::readAvailable, Qt::QueuedConnection);
    }
}

HttpConnection::~HttpConnection() {
    m_closing = true;
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
    }
}

void HttpConnection::abandon() {
    if (m_socket == nullptr) {
        return;
    }
    m_socket = nullptr;
    m_closing = true;
    m_worker.connectionClosed(this);
    deleteLater();
}

void HttpConnection::checkDeadline(qint64 nowMs, bool crowded) {
    if (m_socket == nullptr) {
        return;
    }
    // Idle a while rather than between two requests of a busy client, so that closing it
    // seldom races a request already on its way; one that raced is the client's to send again,
    // as it was sent on a kept-alive connection. A new connection is not closed before its first
    // answer: that request would be lost.
    const qint64 idleSince = m_deadlineMs - m_worker.limits().idleTimeout.count();
    if (crowded && m_answered && !m_closing && !m_inRequest &&
        nowMs - idleSince >= kIdleWhileCrowdedMs && m_socket->bytesToWrite() == 0 &&
        m_socket->bytesAvailable() == 0 && !requestWaiting()) {
        closeAfterWrite();
        return;
    }
    if (nowMs < m_deadlineMs) {
        return;
    }
    if (m_closing) {
        m_socket->abort();
    } else if (m_inRequest) {
        fail(408, "request headers took too long");
    } else {
        m_closing = true;
        m_socket->abort();
    }
}

void HttpConnection::readAvailable() {
    if (m_socket == nullptr) {
        return;
    }
    if (m_closing) {
        m_socket->skip(m_socket->bytesAvailable());
        return;
    }
    process();
    // Everything answered from this read goes out in one send now, instead of after another
    // trip through the event loop for the write notification.
    if (m_socket != nullptr && m_socket->bytesToWrite() > 0) {
        m_socket->flush();
    }
}

void HttpConnection::process() {
    const HttpServer::Limits& limits = m_worker.limits();
    while (m_socket != nullptr && !m_closing) {
        // A client that does not read its answers is not read either.
        if (m_socket->bytesToWrite() > limits.maxPendingOutput) {
            return;
        }
        // Read on only while the buffer is below one request's limit, so a client pipelining
        // faster than we answer is held back by TCP rather than by our memory.
        if (m_socket->bytesAvailable() > 0 && m_buffer.size() <= limits.maxHeaderBytes) {
            m_buffer.append(m_socket->readAll());
        }
        if (m_buffer.isEmpty()) {
            m_inRequest = false;
            m_deadlineMs = m_worker.monotonicMs() + limits.idleTimeout.count();
            return;
        }
        if (!m_inRequest) {
            m_inRequest = true;
            m_deadlineMs = m_worker.monotonicMs() + limits.headerTimeout.count();
        }
        const qsizetype crlf = m_buffer.indexOf("\n\r\n");
        const qsizetype lf = m_buffer.indexOf("\n\n");
        qsizetype end = -1;
        qsizetype consumed = 0;
        if (crlf >= 0 && (lf < 0 || crlf < lf)) {
            end = crlf + 1;
            consumed = crlf + 3;
        } else if (lf >= 0) {
            end = lf + 1;
            consumed = lf + 2;
        }
        const qsizetype lineEnd = m_buffer.indexOf('\n');
        if ((lineEnd < 0 ? m_buffer.size() : lineEnd) > limits.maxRequestLine) {
            fail(414, "request line too long");
            return;
        }
        if ((end < 0 ? m_buffer.size() : consumed) > limits.maxHeaderBytes) {
            fail(431, "request headers too large");
            return;
        }
        if (end < 0) {
            return;  // the rest of the headers is still on its way
        }
        if (!handleRequest(end, consumed)) {
            return;
        }
        m_inRequest = false;
        m_deadlineMs = m_worker.monotonicMs() + limits.idleTimeout.count();
    }
}

bool HttpConnection::handleRequest(qsizetype headerEnd, qsizetype consumed) {
    const QByteArray head = m_buffer.left(headerEnd);
    m_buffer.remove(0, consumed);

    qsizetype lineEnd = head.indexOf('\n');
    const QByteArrayView line = QByteArrayView(head).first(lineEnd).chopped(
        lineEnd > 0 && head[lineEnd - 1] == '\r' ? 1 : 0);
    const qsizetype sp1 = line.indexOf(' ');
    const qsizetype sp2 = sp1 < 0 ? -1 : line.sliced(sp1 + 1).indexOf(' ');
    if (sp1 <= 0 || sp2 <= 0) {
        fail(400, "malformed request line");
        return false;
    }
    const QByteArrayView method = line.first(sp1);
    const QByteArrayView target = line.sliced(sp1 + 1, sp2);
    const QByteArrayView version = line.sliced(sp1 + sp2 + 2);
    for (const char c : method) {
        if (!isTokenChar(c)) {
            fail(400, "malformed request line");
            return false;
        }
    }
    const bool http11 = version == "HTTP/1.1";
    if (!http11 && version != "HTTP/1.0") {
        fail(version.startsWith("HTTP/") ? 505 : 400, "unsupported HTTP version");
        return false;
    }
    if (!target.startsWith('/')) {
        fail(400, "request target must be a path");
        return false;
    }
    for (const char c : target) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f || c == '#') {
            fail(400, "malformed request target");
            return false;
        }
    }

    bool close = !http11;
    bool hasBody = false;
    bool gzip = false;
    QByteArray ifNoneMatch;
    qsizetype pos = lineEnd + 1;
    while (pos < head.size()) {
        qsizetype next = head.indexOf('\n', pos);
        if (next < 0) {
            next = head.size();
        }
        const QByteArrayView field = QByteArrayView(head).sliced(pos, next - pos);
        pos = next + 1;
        const qsizetype colon = field.indexOf(':');
        if (colon <= 0 || field.front() == ' ' || field.front() == '\t') {
            fail(400, "malformed header field");
            return false;
        }
        const QByteArrayView name = field.first(colon);
        for (const char c : name) {
            if (!isTokenChar(c)) {
                fail(400, "malformed header field");
                return false;
            }
        }
        const QByteArrayView value = trimmed(field.sliced(colon + 1));
        if (name.compare("connection", Qt::CaseInsensitive) == 0) {
            if (hasToken(value, "close")) {
                close = true;
            } else if (hasToken(value, "keep-alive")) {
                close = false;
            }
        } else if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
            std::uint64_t length = 0;
            const auto res = std::from_chars(value.data(), value.data() + value.size(), length);
            if (value.isEmpty() || res.ec != std::errc() ||
                res.ptr != value.data() + value.size()) {
                fail(400, "malformed content length");
                return false;
            }
            hasBody = hasBody || length > 0;
        } else if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
            hasBody = true;
        } else if (name.compare("accept-encoding", Qt::CaseInsensitive) == 0) {
            gzip = gzip || takesGzip(value);
        } else if (name.compare("if-none-match", Qt::CaseInsensitive) == 0) {
            ifNoneMatch.append(ifNoneMatch.isEmpty() ? "" : ",").append(value);
        }
    }

    HttpRequest request;
    request.method = method.toByteArray();
    const qsizetype q = target.indexOf('?');
    request.path = (q < 0 ? target : target.first(q)).toByteArray();
    request.query = q < 0 ? QByteArray() : target.sliced(q + 1).toByteArray();
    HttpResponse response;
    try {
        response = m_worker.handler()(request);
    } catch (const std::exception&) {
        response = {500, QByteArray(R"({"error":"internal error"})"), {}};
    }
    // None of our requests has a body; rather than read one, we answer and hang up.
    const bool keepAlive = !close && !hasBody && !turnOver();
    m_answered = true;
    respond(response, keepAlive, method == "HEAD", ifNoneMatch, gzip);
    if (!keepAlive) {
        closeAfterWrite();
        return false;
    }
    return true;
}

bool HttpConnection::requestWaiting() const {
    // Qt reads only when the event loop gets to it; what the kernel holds counts as sent.
    int queued = 0;
    return ::ioctl(static_cast<int>(m_socket->socketDescriptor()), FIONREAD, &queued) != 0 ||
           queued > 0;
}

bool HttpConnection::turnOver() const {
    if (!m_worker.crowded()) {
        return false;
    }
    const qint64 held = m_worker.monotonicMs() - m_openedMs;
    const qint64 turn = m_worker.limits().turn.count();
    // Requests already pipelined are answered first, within reason.
    const bool pipelined = !m_buffer.isEmpty() || m_socket->bytesAvailable() > 0;
    return held >= (pipelined ? 10 * turn : turn);
}

void HttpConnection::respond(const HttpResponse& response, bool keepAlive, bool headOnly,
                             QByteArrayView ifNoneMatch, bool gzip) {
    const bool cacheable = response.maxAge >= 0 && !response.etag.isEmpty();
    gzip = gzip && cacheable && !response.gzip.isEmpty();
    const QByteArray& body = gzip ? response.gzip : response.body;
    const QByteArray* etag = gzip ? &response.gzipEtag : &response.etag;
    bool notModified = false;
    if (cacheable && !ifNoneMatch.isEmpty()) {
        // A client holding the other encoding's copy may keep it as well.
        const QByteArray& other = gzip ? response.etag : response.gzipEtag;
        notModified = names(ifNoneMatch, *etag) || names(ifNoneMatch, other);
        if (notModified && !names(ifNoneMatch, *etag)) {
            etag = &other;
        }
    }
    const int status = notModified ? 304 : response.status;
    QByteArray head;
    head.reserve(320);
    head.append("HTTP/1.1 ").append(QByteArray::number(status)).append(' ');
    head.append(reason(status)).append("\r\n");
    if (!notModified) {
        head.append("Content-Type: application/json\r\nContent-Length: ");
        head.append(QByteArray::number(body.size())).append("\r\n");
        if (gzip) {
            head.append("Content-Encoding: gzip\r\n");
        }
    }
    if (cacheable) {
        head.append("Cache-Control: public, max-age=").append(QByteArray::number(response.maxAge));
        head.append("\r\nETag: ").append(*etag).append("\r\nVary: Accept-Encoding\r\n");
    } else {
        head.append("Cache-Control: no-store\r\n");
    }
    head.append("Date: ").append(m_worker.httpDate());
    head.append(keepAlive ? "\r\nConnection: keep-alive\r\n" : "\r\nConnection: close\r\n");
    for (const auto& [name, value] : response.headers) {
        head.append(name).append(": ").append(value).append("\r\n");
    }
    head.append("\r\n");
    send(head, headOnly || notModified ? QByteArray() : body);
}

void HttpConnection::send(const QByteArray& head, const QByteArray& body) {
    qsizetype sent = 0;
    // With nothing queued before it, the answer goes straight to the kernel in one call: the
    // body (a shared document, often tens of kilobytes) is neither copied into the socket's
    // buffer nor sent in its 16 kB pieces. Whatever the kernel does not take is queued as usual.
    if (m_socket->bytesToWrite() == 0) {
        iovec parts[2] = {{const_cast<char*>(head.constData()), static_cast<size_t>(head.size())},
                          {const_cast<char*>(body.constData()), static_cast<size_t>(body.size())}};
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = body.isEmpty() ? 1 : 2;
        ssize_t n;
        do {
            n = ::sendmsg(static_cast<int>(m_socket->socketDescriptor()), &message,
                          MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        // A failure is left to the socket, which meets it again on its own write.
        sent = n > 0 ? static_cast<qsizetype>(n) : 0;
    }
    if (sent < head.size()) {
        m_socket->write(head.constData() + sent, head.size() - sent);
        sent = 0;
    } else {
        sent -= head.size();
    }
    if (sent < body.size()) {
        m_socket->write(body.constData() + sent, body.size() - sent);
    }
}

void HttpConnection::fail(int status, const char* message) {
    if (m_socket == nullptr) {
        return;
    }
    JsonWriter w;
    w.beginObject().key("error").string(std::string_view(message)).endObject();
    respond({status, w.take(), {}}, false, false, {}, false);
    closeAfterWrite();
}

void HttpConnection::closeAfterWrite() {
    m_closing = true;
    m_buffer.clear();
    // A client that never reads its last answer is cut off at the next sweep after this.
    m_deadlineMs = m_worker.monotonicMs() + 1000;
    m_socket->disconnectFromHost();
}

}  // namespace mintlux::server
