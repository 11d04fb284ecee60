#include "net/SocketReply.h"

#include <algorithm>
#include <cstring>

#include <QSslSocket>
#include <QTcpSocket>

namespace mintlux {

namespace {

// Headers beyond this are no answer to a price request.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QNetworkReply::NetworkError fromSocket(QAbstractSocket::SocketError error) {
    using E = QNetworkReply::NetworkError;
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return E::ConnectionRefusedError;
        case QAbstractSocket::RemoteHostClosedError:
            return E::RemoteHostClosedError;
        case QAbstractSocket::HostNotFoundError:
            return E::HostNotFoundError;
        case QAbstractSocket::SocketTimeoutError:
            return E::TimeoutError;
        case QAbstractSocket::SslHandshakeFailedError:
        case QAbstractSocket::SslInternalError:
        case QAbstractSocket::SslInvalidUserDataError:
            return E::SslHandshakeFailedError;
        case QAbstractSocket::ProxyConnectionRefusedError:
        case QAbstractSocket::ProxyConnectionClosedError:
        case QAbstractSocket::ProxyConnectionTimeoutError:
        case QAbstractSocket::ProxyNotFoundError:
        case QAbstractSocket::ProxyProtocolError:
        case QAbstractSocket::ProxyAuthenticationRequiredError:
            return E::ProxyConnectionRefusedError;
        default:
            return E::UnknownNetworkError;
    }
}

}  // namespace

SocketReply::SocketReply(const QNetworkRequest& request, QObject* parent) : QNetworkReply(parent) {
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::GetOperation);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this,
            [this] { fail(OperationCanceledError, QStringLiteral("Operation canceled")); });
    // Started from the event loop, like the access manager's replies: the caller connects first.
    QMetaObject::invokeMethod(
        this, [this] { connectTo(url()); }, Qt::QueuedConnection);
}

SocketReply::~SocketReply() {
    dropSocket();
}

void SocketReply::connectTo(const QUrl& target) {
    if (m_done) {
        return;
    }
    dropSocket();
    setUrl(target);
    m_in.clear();
    m_body.clear();
    m_headDone = false;
    m_chunkTrailer = false;
    m_chunksEnded = false;
    const bool tls = target.scheme() == QLatin1String("https");
    if (!tls && target.scheme() != QLatin1String("http")) {
        fail(ProtocolUnknownError,
             QStringLiteral("Protocol \"%1\" is unknown").arg(target.scheme()));
        return;
    }
    QAbstractSocket* socket = nullptr;
    if (tls) {
        auto* ssl = new QSslSocket(this);
        ssl->setSslConfiguration(request().sslConfiguration());
        connect(ssl, &QSslSocket::encrypted, this, &SocketReply::sendRequest);
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
        connect(socket, &QAbstractSocket::connected, this, &SocketReply::sendRequest);
    }
    m_socket = socket;
    connect(socket, &QAbstractSocket::readyRead, this, &SocketReply::receive);
    connect(socket, &QAbstractSocket::disconnected, this, &SocketReply::closed);
    connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // A close after the request counts as the end of a close-delimited body.
        if (e == QAbstractSocket::RemoteHostClosedError) {
            closed();
            return;
        }
        fail(fromSocket(e), m_socket != nullptr ? m_socket->errorString() : QString());
    });
    if (const int timeout = request().transferTimeout(); timeout > 0) {
        m_silence.start(timeout);
    }
    const quint16 port = static_cast<quint16>(target.port(tls ? 443 : 80));
    if (tls) {
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(target.host(), port);
    } else {
        socket->connectToHost(target.host(), port);
    }
}

void SocketReply::sendRequest() {
    const QUrl& target = url();
    QByteArray path = target.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty()) {
        path = "/";
    }
    if (target.hasQuery()) {
        path += '?' + target.query(QUrl::FullyEncoded).toLatin1();
    }
    QByteArray host = target.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    const int defaultPort = target.scheme() == QLatin1String("https") ? 443 : 80;
    if (target.port(defaultPort) != defaultPort) {
        host += ':' + QByteArray::number(target.port());
    }
    QByteArray head = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    for (const QByteArray& name : request().rawHeaderList()) {
        if (name.compare("Connection", Qt::CaseInsensitive) != 0 &&
            name.compare("Host", Qt::CaseInsensitive) != 0) {
            head += name + ": " + request().rawHeader(name) + "\r\n";
        }
    }
    head += "Connection: close\r\n\r\n";
    m_socket->write(head);
}

void SocketReply::receive() {
    if (m_socket == nullptr || m_done) {
        return;
    }
    if (const int timeout = request().transferTimeout(); timeout > 0) {
        m_silence.start(timeout);
    }
    m_in += m_socket->readAll();
    if (!m_headDone && !parseHead()) {
        return;
    }
    if (m_headDone && !m_done) {
        parseBody();
    }
}

// The status line and headers; false until they are all in (or the reply failed).
bool SocketReply::parseHead() {
    for (;;) {
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_in.size() > kMaxHeadBytes) {
                fail(ProtocolFailure, QStringLiteral("The server's headers are too long"));
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
            fail(ProtocolFailure, QStringLiteral("The server's answer is not HTTP"));
            return false;
        }
        if (status < 200) {
            continue;  // an interim answer; the real one follows
        }
        QList<std::pair<QByteArray, QByteArray>> headers;
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
        const auto header = [&](const char* name) {
            for (const auto& [key, value] : headers) {
                if (key.compare(name, Qt::CaseInsensitive) == 0) {
                    return value;
                }
            }
            return QByteArray();
        };
        const QByteArray location = header("Location");
        const auto policy = request().attribute(QNetworkRequest::RedirectPolicyAttribute,
                                                QNetworkRequest::NoLessSafeRedirectPolicy);
        if (isRedirect(status) && !location.isEmpty() &&
            policy.toInt() != QNetworkRequest::ManualRedirectPolicy) {
            const QUrl next = url().resolved(QUrl::fromEncoded(location));
            if (url().scheme() == QLatin1String("https") && next.scheme() != url().scheme()) {
                fail(InsecureRedirectError, QStringLiteral("Insecure redirect"));
            } else if (++m_redirects > request().maximumRedirectsAllowed()) {
                fail(TooManyRedirectsError, QStringLiteral("Too many redirects"));
            } else {
                connectTo(next);
            }
            return false;
        }
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
        setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                     statusLine.mid(2).join(' ').trimmed());
        for (const auto& [name, value] : headers) {
            setRawHeader(name, value);
        }
        const QByteArray length = header("Content-Length");
        if (status == 204 || status == 304) {
            m_bodyKind = Body::none;
        } else if (header("Transfer-Encoding").toLower().contains("chunked")) {
            m_bodyKind = Body::chunked;
            m_remaining = -1;
        } else if (!length.isEmpty()) {
            m_remaining = length.toLongLong(&ok);
            if (!ok || m_remaining < 0) {
                fail(ProtocolFailure, QStringLiteral("The server sent an invalid length"));
                return false;
            }
            m_bodyKind = Body::length;
        } else {
            m_bodyKind = Body::untilClose;
        }
        m_headDone = true;
        emit metaDataChanged();
        if (m_bodyKind == Body::none) {
            complete();
        }
        return !m_done;
    }
}

bool SocketReply::parseBody() {
    const qint64 before = m_body.size();
    switch (m_bodyKind) {
        case Body::none:
            return true;
        case Body::length: {
            const qint64 take = std::min<qint64>(m_remaining, m_in.size());
            m_body += m_in.left(take);
            m_in.remove(0, take);
            m_remaining -= take;
            break;
        }
        case Body::untilClose:
            m_body += m_in;
            m_in.clear();
            break;
        case Body::chunked:
            if (!parseChunks()) {
                return false;
            }
            break;
    }
    if (m_body.size() > before) {
        emit readyRead();
    }
    if ((m_bodyKind == Body::length && m_remaining == 0) || m_chunksEnded) {
        complete();
    }
    return true;
}

// Chunk sizes, data and closing CRLFs as they come; the trailer after the last chunk ends it.
bool SocketReply::parseChunks() {
    for (;;) {
        if (m_remaining > 0) {
            const qint64 take = std::min<qint64>(m_remaining, m_in.size());
            m_body += m_in.left(take);
            m_in.remove(0, take);
            m_remaining -= take;
            if (m_remaining > 0) {
                return true;
            }
            m_chunkTrailer = true;  // the CRLF after the data
        }
        const qsizetype eol = m_in.indexOf("\r\n");
        if (eol < 0) {
            if (m_in.size() > kMaxHeadBytes) {
                fail(ProtocolFailure, QStringLiteral("The server sent an invalid chunk"));
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
                fail(ProtocolFailure, QStringLiteral("The server sent an invalid chunk"));
                return false;
            }
            continue;
        }
        bool ok = false;
        const qint64 size = line.split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0) {
            fail(ProtocolFailure, QStringLiteral("The server sent an invalid chunk"));
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

void SocketReply::closed() {
    if (m_done || m_socket == nullptr) {
        return;
    }
    m_in += m_socket->readAll();
    if (!m_headDone && !parseHead()) {
        if (!m_done) {
            fail(RemoteHostClosedError, QStringLiteral("Connection closed"));
        }
        return;
    }
    if (!m_done && parseBody() && !m_done) {
        // After the last chunk only trailers were missing: the body itself is whole.
        if (m_bodyKind == Body::untilClose || (m_bodyKind == Body::chunked && m_remaining == -2)) {
            complete();
        } else {
            fail(RemoteHostClosedError, QStringLiteral("Connection closed"));
        }
    }
}

void SocketReply::complete() {
    if (m_done) {
        return;
    }
    m_done = true;
    m_silence.stop();
    dropSocket();
    setFinished(true);
    emit finished();
}

void SocketReply::fail(NetworkError error, const QString& message) {
    if (m_done) {
        return;
    }
    m_done = true;
    m_silence.stop();
    dropSocket();
    setError(error, message);
    emit errorOccurred(error);
    setFinished(true);
    emit finished();
}

void SocketReply::abort() {
    if (!m_done) {
        fail(OperationCanceledError, QStringLiteral("Operation canceled"));
    }
}

void SocketReply::dropSocket() {
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

qint64 SocketReply::bytesAvailable() const {
    return m_body.size() + QNetworkReply::bytesAvailable();
}

qint64 SocketReply::readData(char* data, qint64 maxSize) {
    const qint64 n = std::min<qint64>(maxSize, m_body.size());
    if (n == 0 && m_done) {
        return -1;
    }
    std::memcpy(data, m_body.constData(), static_cast<std::size_t>(n));
    m_body.remove(0, n);
    return n;
}

}  // namespace mintlux
