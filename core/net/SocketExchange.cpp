#include "net/ByteStream.h"
#include "net/HttpExchange.h"

#include <algorithm>

#include <QTimer>

namespace mintlux {

namespace {

// Headers beyond this are no answer to a price request.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One GET over a connection of its own (Connection: close: nothing on loopback, and no idle
// socket left to close later). Reads chunked, length-delimited and close-delimited bodies and
// leaves Content-Encoding to the reader.
class SocketExchange final : public HttpExchange {
public:
    SocketExchange(HttpRequest request, QObject* parent)
        : HttpExchange(parent), m_request(std::move(request)) {
        m_silence.setSingleShot(true);
        connect(&m_silence, &QTimer::timeout, this,
                [this] { failWith(NetworkFault::timedOut, QStringLiteral("Timed out")); });
        // Started from the event loop: the caller connects first.
        QMetaObject::invokeMethod(
            this, [this] { connectTo(m_request.url); }, Qt::QueuedConnection);
    }
    ~SocketExchange() override { dropStream(); }

    void abort() override {
        failWith(NetworkFault::cancelled, QStringLiteral("Operation canceled"));
    }

private:
    enum class Body { none, length, chunked, untilClose };

    void connectTo(const QUrl& target);
    void sendRequest();
    void receive();
    bool parseHead();
    bool parseBody();
    bool parseChunks();
    void closed();
    void done();
    void failWith(NetworkFault fault, const QString& text);
    void dropStream();
    void armSilence() {
        if (m_request.silenceTimeout.count() > 0) {
            m_silence.start(m_request.silenceTimeout);
        }
    }

    HttpRequest m_request;
    QUrl m_url;  // where this connection goes, after any redirects
    std::unique_ptr<ByteStream> m_stream;
    QTimer m_silence;
    QByteArray m_in;  // as received, not yet parsed
    Body m_bodyKind = Body::none;
    qint64 m_remaining = 0;  // of the body, or of the current chunk
    bool m_headDone = false;
    bool m_chunkTrailer = false;  // inside a chunk's closing CRLF or the trailer section
    bool m_chunksEnded = false;
    int m_redirects = 0;
};

void SocketExchange::connectTo(const QUrl& target) {
    if (isFinished()) {
        return;
    }
    dropStream();
    m_url = target;
    m_in.clear();
    m_headDone = false;
    m_chunkTrailer = false;
    m_chunksEnded = false;
    const bool secure = target.scheme() == QLatin1String("https");
    if (!secure && target.scheme() != QLatin1String("http")) {
        failWith(NetworkFault::unknownProtocol,
                 QStringLiteral("Protocol \"%1\" is unknown").arg(target.scheme()));
        return;
    }
    if (secure) {
        QString why;
        m_stream = tls::makeStream(nullptr, why);
        if (!m_stream) {
            failWith(NetworkFault::tlsFailed, QStringLiteral("TLS is not available: ") + why);
            return;
        }
    } else {
        m_stream = std::make_unique<PlainStream>();
    }
    ByteStream* stream = m_stream.get();
    connect(stream, &ByteStream::connected, this, &SocketExchange::sendRequest);
    connect(stream, &ByteStream::readyRead, this, &SocketExchange::receive);
    connect(stream, &ByteStream::closed, this, &SocketExchange::closed);
    connect(stream, &ByteStream::failed, this,
            [this](NetworkFault fault, const QString& text) { failWith(fault, text); });
    armSilence();
    stream->open(target.host(), static_cast<quint16>(target.port(secure ? 443 : 80)));
}

void SocketExchange::sendRequest() {
    QByteArray path = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty()) {
        path = "/";
    }
    if (m_url.hasQuery()) {
        path += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    }
    QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    const int defaultPort = m_url.scheme() == QLatin1String("https") ? 443 : 80;
    if (m_url.port(defaultPort) != defaultPort) {
        host += ':' + QByteArray::number(m_url.port());
    }
    QByteArray head = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    for (const auto& [name, value] : m_request.headers) {
        // A header value is one line: a CR or LF in it would start another header.
        if (name.compare("Connection", Qt::CaseInsensitive) != 0 &&
            name.compare("Host", Qt::CaseInsensitive) != 0 && !value.contains('\r') &&
            !value.contains('\n')) {
            head += name + ": " + value + "\r\n";
        }
    }
    head += "Connection: close\r\n\r\n";
    m_stream->write(head);
}

void SocketExchange::receive() {
    if (!m_stream || isFinished()) {
        return;
    }
    armSilence();
    m_in += m_stream->readAll();
    if (!m_headDone && !parseHead()) {
        return;
    }
    if (m_headDone && !isFinished()) {
        parseBody();
    }
}

// The status line and headers; false until they are all in (or the exchange ended).
bool SocketExchange::parseHead() {
    for (;;) {
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_in.size() > kMaxHeadBytes) {
                failWith(NetworkFault::protocolFailure,
                         QStringLiteral("The server's headers are too long"));
            }
            return false;
        }
        const QList<QByteArray> lines = m_in.left(end).split('\n');
        m_in.remove(0, end + 4);
        const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
        bool ok = false;
        const int status = statusLine.size() >= 2 && statusLine[0].startsWith("HTTP/1.")
                               ? statusLine[1].toInt(&ok)
                               : 0;
        if (!ok || status < 100 || status > 999) {
            failWith(NetworkFault::protocolFailure,
                     QStringLiteral("The server's answer is not HTTP"));
            return false;
        }
        if (status < 200) {
            continue;  // an interim answer; the real one follows
        }
        HttpHeaders headers;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            const auto same = std::find_if(headers.begin(), headers.end(), [&](const auto& h) {
                return h.first.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (same == headers.end()) {
                headers.emplace_back(name, value);
            } else {
                same->second += ", " + value;
            }
        }
        const QByteArray location = headerValue(headers, "Location");
        if (isRedirect(status) && !location.isEmpty()) {
            const QUrl next = m_url.resolved(QUrl::fromEncoded(location));
            if (m_url.scheme() == QLatin1String("https") && next.scheme() != m_url.scheme()) {
                failWith(NetworkFault::insecureRedirect, QStringLiteral("Insecure redirect"));
            } else if (++m_redirects > m_request.maxRedirects) {
                failWith(NetworkFault::tooManyRedirects, QStringLiteral("Too many redirects"));
            } else {
                connectTo(next);
            }
            return false;
        }
        const QByteArray length = headerValue(headers, "Content-Length");
        if (status == 204 || status == 304) {
            m_bodyKind = Body::none;
        } else if (headerValue(headers, "Transfer-Encoding").toLower().contains("chunked")) {
            m_bodyKind = Body::chunked;
            m_remaining = -1;
        } else if (!length.isEmpty()) {
            m_remaining = length.toLongLong(&ok);
            if (!ok || m_remaining < 0) {
                failWith(NetworkFault::protocolFailure,
                         QStringLiteral("The server sent an invalid length"));
                return false;
            }
            m_bodyKind = Body::length;
        } else {
            m_bodyKind = Body::untilClose;
        }
        m_headDone = true;
        setHead(status, std::move(headers));
        if (m_bodyKind == Body::none) {
            done();
        }
        return !isFinished();
    }
}

bool SocketExchange::parseBody() {
    QByteArray body;
    switch (m_bodyKind) {
        case Body::none:
            return true;
        case Body::length: {
            const qint64 take = std::min<qint64>(m_remaining, m_in.size());
            body = m_in.left(take);
            m_in.remove(0, take);
            m_remaining -= take;
            break;
        }
        case Body::untilClose:
            body = std::exchange(m_in, {});
            break;
        case Body::chunked:
            if (!parseChunks()) {
                return false;
            }
            break;
    }
    deliver(std::move(body));
    if (isFinished()) {
        return false;  // the reader gave up on it
    }
    if ((m_bodyKind == Body::length && m_remaining == 0) || m_chunksEnded) {
        done();
    }
    return true;
}

// Chunk sizes, data and closing CRLFs as they come; the trailer after the last chunk ends it.
bool SocketExchange::parseChunks() {
    for (;;) {
        if (m_remaining > 0) {
            const qint64 take = std::min<qint64>(m_remaining, m_in.size());
            deliver(m_in.left(take));
            m_in.remove(0, take);
            m_remaining -= take;
            if (isFinished()) {
                return false;
            }
            if (m_remaining > 0) {
                return true;
            }
            m_chunkTrailer = true;  // the CRLF after the data
        }
        const qsizetype eol = m_in.indexOf("\r\n");
        if (eol < 0) {
            if (m_in.size() > kMaxHeadBytes) {
                failWith(NetworkFault::protocolFailure,
                         QStringLiteral("The server sent an invalid chunk"));
                return false;
            }
            return true;
        }
        const QByteArray line = m_in.left(eol);
        m_in.remove(0, eol + 2);
        if (m_chunkTrailer) {
            if (m_remaining == 0 && line.isEmpty()) {
                m_chunkTrailer = false;
                m_remaining = -1;  // a size line next
            } else if (m_remaining == -2 && line.isEmpty()) {
                m_chunksEnded = true;  // the empty line after the last chunk's trailers
                return true;
            } else if (m_remaining != -2) {
                failWith(NetworkFault::protocolFailure,
                         QStringLiteral("The server sent an invalid chunk"));
                return false;
            }
            continue;
        }
        bool ok = false;
        const qint64 size = line.split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0) {
            failWith(NetworkFault::protocolFailure,
                     QStringLiteral("The server sent an invalid chunk"));
            return false;
        }
        if (size == 0) {
            m_chunkTrailer = true;
            m_remaining = -2;  // trailers until an empty line
            continue;
        }
        m_remaining = size;
    }
}

void SocketExchange::closed() {
    if (isFinished() || !m_stream) {
        return;
    }
    m_in += m_stream->readAll();
    if (!m_headDone && !parseHead()) {
        failWith(NetworkFault::remoteClosed, QStringLiteral("Connection closed"));
        return;
    }
    if (!isFinished() && parseBody() && !isFinished()) {
        // After the last chunk only trailers were missing: the body itself is whole.
        if (m_bodyKind == Body::untilClose || (m_bodyKind == Body::chunked && m_remaining == -2)) {
            done();
        } else {
            failWith(NetworkFault::remoteClosed, QStringLiteral("Connection closed"));
        }
    }
}

void SocketExchange::done() {
    m_silence.stop();
    dropStream();
    complete();
}

void SocketExchange::failWith(NetworkFault fault, const QString& text) {
    m_silence.stop();
    dropStream();
    fail(fault, text);
}

void SocketExchange::dropStream() {
    if (m_stream) {
        m_stream->disconnect(this);
        // Possibly inside one of its own signals: it goes once that returns.
        m_stream.release()->deleteLater();
    }
}

}  // namespace

HttpExchange* socketExchange(const HttpRequest& request, QObject* parent) {
    return new SocketExchange(request, parent);
}

}  // namespace mintlux
