#include "net/BoundedHttpFetch.h"

#include "net/Gzip.h"
#include "net/SocketReply.h"
#include "pricing/TransportError.h"

#include <QNetworkReply>
#include <QTimer>

namespace mintlux {

namespace {

using NetworkError = QNetworkReply::NetworkError;

// Qt turns an error status into one of these, but the answer arrived whole and its body may
// still be worth reading. Anything else (reset, closed mid-body, TLS) left no usable answer.
bool fromStatus(NetworkError error) {
    const int code = static_cast<int>(error);
    return error == NetworkError::NoError || (code >= 201 && code <= 299) ||
           error == NetworkError::ProtocolInvalidOperationError || (code >= 401 && code <= 499) ||
           error == NetworkError::ProxyAuthenticationRequiredError;
}

QByteArray mediaType(const QNetworkReply* reply) {
    QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0) {
        type.truncate(semicolon);
    }
    return type.trimmed().toLower();
}

// Compressed, a body a little over the decoded limit is still sane: deflate adds a few bytes per
// block to incompressible data.
qint64 encodedLimit(qint64 decodedLimit) {
    return decodedLimit + decodedLimit / 256 + 1024;
}

}  // namespace

QByteArray HttpAnswer::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers) {
        if (name.compare(key, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

BoundedHttpFetch::BoundedHttpFetch(QNetworkAccessManager& network, Limits limits,
                                   QString requestName)
    : BoundedHttpFetch(&network, limits, std::move(requestName)) {}

BoundedHttpFetch::BoundedHttpFetch(QNetworkAccessManager* network, Limits limits,
                                   QString requestName)
    : m_network(network), m_limits(limits), m_requestName(std::move(requestName)) {}

BoundedHttpFetch::~BoundedHttpFetch() {
    // The network may be shared and outlive us: its replies must not call back into a dead
    // object, and the callers must not wait forever.
    while (!m_pending.empty()) {
        const auto it = m_pending.begin();
        const std::string description = describe(it->second.url) + " was cancelled";
        abandon(it->first, std::make_exception_ptr(
                               TransportError(TransportError::Kind::cancelled,
                                              NetworkError::OperationCanceledError, description)));
    }
}

std::string BoundedHttpFetch::describe(const QUrl& url) const {
    return (m_requestName + QStringLiteral(" to ") + url.toDisplayString()).toStdString();
}

void BoundedHttpFetch::get(QNetworkRequest request, OnAnswer onAnswer, OnError onError) {
    if (m_limits.deadline == Deadline::silence) {
        request.setTransferTimeout(static_cast<int>(m_limits.timeout.count()));
    }
    // Named by us, Qt leaves the body as sent instead of inflating it unbounded by itself.
    const bool decodes = !request.hasRawHeader("Accept-Encoding");
    if (decodes) {
        request.setRawHeader("Accept-Encoding", "gzip");
    }
    QNetworkReply* reply =
        m_network != nullptr ? m_network->get(request) : new SocketReply(request, this);
    // Bounds what Qt buffers ahead of us if the event loop is busy while a body streams in.
    reply->setReadBufferSize(decodes ? encodedLimit(m_limits.maxBodyBytes) : m_limits.maxBodyBytes);
    const std::uint64_t id = ++m_lastId;
    m_pending.emplace(
        reply,
        Pending{
            id, request.url(), {}, std::move(onAnswer), std::move(onError), decodes, 0, nullptr});

    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { readAvailable(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readAvailable(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
    if (m_limits.deadline == Deadline::wholeTransfer) {
        // The id tells this request from a later one that happens to get the same reply address.
        QTimer::singleShot(m_limits.timeout, this, [this, reply, id] {
            const auto it = m_pending.find(reply);
            if (it == m_pending.end() || it->second.id != id) {
                return;
            }
            const std::string description = describe(it->second.url) + " timed out after " +
                                            std::to_string(m_limits.timeout.count()) + " ms";
            abandon(reply,
                    std::make_exception_ptr(TransportError(
                        TransportError::Kind::timedOut, NetworkError::TimeoutError, description)));
        });
    }
}

void BoundedHttpFetch::readAvailable(QNetworkReply* reply) {
    const auto it = m_pending.find(reply);
    if (it == m_pending.end()) {
        return;
    }
    Pending& pending = it->second;
    // Read afresh each time: a redirect's headers come before the final answer's.
    const QByteArray encoding =
        pending.decodes ? reply->rawHeader("Content-Encoding").trimmed().toLower() : QByteArray();
    const bool gzip = encoding == "gzip" || encoding == "x-gzip";
    if (!gzip && !encoding.isEmpty() && encoding != "identity") {
        undecodable(reply, pending,
                    "sent a body in an encoding it was not offered (" +
                        encoding.left(40).toStdString() + ")");
        return;
    }
    // A declared length counts the bytes as sent, which for a compressed body is not its size.
    const qint64 sentLimit = gzip ? encodedLimit(m_limits.maxBodyBytes) : m_limits.maxBodyBytes;
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 incoming = reply->bytesAvailable();
    if (pending.received + incoming > sentLimit ||
        (declared.isValid() && declared.toLongLong() > sentLimit)) {
        tooLarge(reply, pending);
        return;
    }
    if (incoming <= 0) {
        return;
    }
    pending.received += incoming;
    if (!gzip) {
        pending.body += reply->read(incoming);
        if (pending.body.size() > m_limits.maxBodyBytes) {
            tooLarge(reply, pending);
        }
        return;
    }
    if (!pending.gzip) {
        pending.gzip = std::make_unique<GzipDecoder>(m_limits.maxBodyBytes);
    }
    const GzipDecoder::State state = pending.gzip->feed(reply->read(incoming));
    if (state == GzipDecoder::State::tooLarge) {
        tooLarge(reply, pending);
    } else if (state == GzipDecoder::State::corrupt) {
        undecodable(reply, pending, "sent a corrupt gzip body");
    }
}

void BoundedHttpFetch::tooLarge(QNetworkReply* reply, const Pending& pending) {
    const std::string description = describe(pending.url) + " answered more than " +
                                    std::to_string(m_limits.maxBodyBytes) + " bytes";
    abandon(reply, std::make_exception_ptr(TransportError(TransportError::Kind::bodyTooLarge,
                                                          NetworkError::UnknownContentError,
                                                          description)));
}

void BoundedHttpFetch::undecodable(QNetworkReply* reply, const Pending& pending,
                                   const std::string& what) {
    const std::string description = describe(pending.url) + " " + what;
    abandon(reply,
            std::make_exception_ptr(TransportError(
                TransportError::Kind::network, NetworkError::UnknownContentError, description)));
}

void BoundedHttpFetch::finished(QNetworkReply* reply) {
    readAvailable(reply);
    std::optional<Pending> taken = release(reply);
    if (!taken) {
        return;
    }
    Pending& pending = *taken;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const NetworkError error = reply->error();
    if (status.isValid() && fromStatus(error) && pending.gzip) {
        if (pending.gzip->finish() != GzipDecoder::State::ok) {
            const std::string description = describe(pending.url) + " sent a truncated gzip body";
            pending.onError(std::make_exception_ptr(TransportError(
                TransportError::Kind::network, NetworkError::UnknownContentError, description)));
            return;
        }
        pending.body = std::move(pending.gzip->output());
    }
    if (status.isValid() && fromStatus(error)) {
        HttpAnswer answer{status.toInt(), mediaType(reply), std::move(pending.body), {}};
        for (const auto& header : reply->rawHeaderPairs()) {
            answer.headers.emplace_back(header.first, header.second);
        }
        pending.onAnswer(std::move(answer));
        return;
    }
    // Only abandon() aborts a request, and it detaches first: a cancellation seen here is Qt's
    // transfer time-out firing.
    if (error == NetworkError::OperationCanceledError || error == NetworkError::TimeoutError) {
        const std::string description = describe(pending.url) + " timed out after " +
                                        std::to_string(m_limits.timeout.count()) +
                                        " ms without data";
        pending.onError(std::make_exception_ptr(
            TransportError(TransportError::Kind::timedOut, error, description)));
        return;
    }
    const std::string description =
        describe(pending.url) + " failed: " + reply->errorString().toStdString();
    pending.onError(
        std::make_exception_ptr(TransportError(TransportError::Kind::network, error, description)));
}

void BoundedHttpFetch::abandon(QNetworkReply* reply, std::exception_ptr error) {
    std::optional<Pending> pending = release(reply);
    if (!pending) {
        return;
    }
    reply->abort();
    pending->onError(error);
}

std::optional<BoundedHttpFetch::Pending> BoundedHttpFetch::release(QNetworkReply* reply) {
    const auto it = m_pending.find(reply);
    if (it == m_pending.end()) {
        return std::nullopt;
    }
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    reply->disconnect(this);
    reply->deleteLater();
    return pending;
}

}  // namespace mintlux
