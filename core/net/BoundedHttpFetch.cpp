#include "net/BoundedHttpFetch.h"

#include "net/Gzip.h"
#include "pricing/TransportError.h"

#include <QTimer>

namespace mintlux {

namespace {

QByteArray mediaType(const HttpExchange* exchange) {
    QByteArray type = exchange->header("Content-Type");
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

BoundedHttpFetch::BoundedHttpFetch(HttpTransport transport, Limits limits, QString requestName)
    : m_transport(transport ? std::move(transport) : HttpTransport(socketExchange)),
      m_limits(limits),
      m_requestName(std::move(requestName)) {}

BoundedHttpFetch::~BoundedHttpFetch() {
    // The transport may be shared and outlive us: its exchanges must not call back into a dead
    // object, and the callers must not wait forever.
    while (!m_pending.empty()) {
        const auto it = m_pending.begin();
        const std::string description = describe(it->second.url) + " was cancelled";
        abandon(it->first,
                std::make_exception_ptr(TransportError(TransportError::Kind::cancelled,
                                                       NetworkFault::cancelled, description)));
    }
}

std::string BoundedHttpFetch::describe(const QUrl& url) const {
    return (m_requestName + QStringLiteral(" to ") + url.toDisplayString()).toStdString();
}

void BoundedHttpFetch::get(HttpRequest request, OnAnswer onAnswer, OnError onError) {
    if (m_limits.deadline == Deadline::silence) {
        request.silenceTimeout = m_limits.timeout;
    }
    // Named by us, the body comes as sent and is inflated here, within the limit.
    const bool decodes = !request.hasHeader("Accept-Encoding");
    if (decodes) {
        request.setHeader("Accept-Encoding", "gzip");
    }
    // Bounds what the transport buffers ahead of us if the event loop is busy while a body
    // streams in.
    request.readBufferSize = decodes ? encodedLimit(m_limits.maxBodyBytes) : m_limits.maxBodyBytes;
    HttpExchange* exchange = m_transport(request, this);
    const std::uint64_t id = ++m_lastId;
    m_pending.emplace(
        exchange,
        Pending{id, request.url, {}, std::move(onAnswer), std::move(onError), decodes, 0, nullptr});

    connect(exchange, &HttpExchange::headReady, this,
            [this, exchange] { readAvailable(exchange); });
    connect(exchange, &HttpExchange::readyRead, this,
            [this, exchange] { readAvailable(exchange); });
    connect(exchange, &HttpExchange::finished, this, [this, exchange] { finished(exchange); });
    if (m_limits.deadline == Deadline::wholeTransfer) {
        // The id tells this request from a later one that happens to get the same address.
        QTimer::singleShot(m_limits.timeout, this, [this, exchange, id] {
            const auto it = m_pending.find(exchange);
            if (it == m_pending.end() || it->second.id != id) {
                return;
            }
            const std::string description = describe(it->second.url) + " timed out after " +
                                            std::to_string(m_limits.timeout.count()) + " ms";
            abandon(exchange,
                    std::make_exception_ptr(TransportError(TransportError::Kind::timedOut,
                                                           NetworkFault::timedOut, description)));
        });
    }
}

void BoundedHttpFetch::readAvailable(HttpExchange* exchange) {
    const auto it = m_pending.find(exchange);
    if (it == m_pending.end()) {
        return;
    }
    Pending& pending = it->second;
    const QByteArray encoding =
        pending.decodes ? exchange->header("Content-Encoding").trimmed().toLower() : QByteArray();
    const bool gzip = encoding == "gzip" || encoding == "x-gzip";
    if (!gzip && !encoding.isEmpty() && encoding != "identity") {
        undecodable(exchange, pending,
                    "sent a body in an encoding it was not offered (" +
                        encoding.left(40).toStdString() + ")");
        return;
    }
    // A declared length counts the bytes as sent, which for a compressed body is not its size.
    const qint64 sentLimit = gzip ? encodedLimit(m_limits.maxBodyBytes) : m_limits.maxBodyBytes;
    bool declaredOk = false;
    const qint64 declared = exchange->header("Content-Length").trimmed().toLongLong(&declaredOk);
    const qint64 incoming = exchange->bytesAvailable();
    if (pending.received + incoming > sentLimit || (declaredOk && declared > sentLimit)) {
        tooLarge(exchange, pending);
        return;
    }
    if (incoming <= 0) {
        return;
    }
    pending.received += incoming;
    if (!gzip) {
        pending.body += exchange->takeBody();
        return;
    }
    if (!pending.gzip) {
        pending.gzip = std::make_unique<GzipDecoder>(m_limits.maxBodyBytes);
    }
    const GzipDecoder::State state = pending.gzip->feed(exchange->takeBody());
    if (state == GzipDecoder::State::tooLarge) {
        tooLarge(exchange, pending);
    } else if (state == GzipDecoder::State::corrupt) {
        undecodable(exchange, pending, "sent a corrupt gzip body");
    }
}

void BoundedHttpFetch::tooLarge(HttpExchange* exchange, const Pending& pending) {
    const std::string description = describe(pending.url) + " answered more than " +
                                    std::to_string(m_limits.maxBodyBytes) + " bytes";
    abandon(exchange,
            std::make_exception_ptr(TransportError(TransportError::Kind::bodyTooLarge,
                                                   NetworkFault::unknownContent, description)));
}

void BoundedHttpFetch::undecodable(HttpExchange* exchange, const Pending& pending,
                                   const std::string& what) {
    const std::string description = describe(pending.url) + " " + what;
    abandon(exchange,
            std::make_exception_ptr(TransportError(TransportError::Kind::network,
                                                   NetworkFault::unknownContent, description)));
}

void BoundedHttpFetch::finished(HttpExchange* exchange) {
    readAvailable(exchange);
    std::optional<Pending> taken = release(exchange);
    if (!taken) {
        return;
    }
    Pending& pending = *taken;
    const NetworkFault fault = exchange->fault();
    if (fault == NetworkFault::none) {
        if (pending.gzip) {
            if (pending.gzip->finish() != GzipDecoder::State::ok) {
                const std::string description =
                    describe(pending.url) + " sent a truncated gzip body";
                pending.onError(std::make_exception_ptr(TransportError(
                    TransportError::Kind::network, NetworkFault::unknownContent, description)));
                return;
            }
            pending.body = std::move(pending.gzip->output());
        }
        HttpAnswer answer{exchange->status(), mediaType(exchange), std::move(pending.body),
                          exchange->headers()};
        pending.onAnswer(std::move(answer));
        return;
    }
    if (fault == NetworkFault::timedOut) {
        const std::string description = describe(pending.url) + " timed out after " +
                                        std::to_string(m_limits.timeout.count()) +
                                        " ms without data";
        pending.onError(std::make_exception_ptr(
            TransportError(TransportError::Kind::timedOut, fault, description)));
        return;
    }
    const std::string description =
        describe(pending.url) + " failed: " + exchange->faultText().toStdString();
    pending.onError(
        std::make_exception_ptr(TransportError(TransportError::Kind::network, fault, description)));
}

void BoundedHttpFetch::abandon(HttpExchange* exchange, std::exception_ptr error) {
    std::optional<Pending> pending = release(exchange);
    if (!pending) {
        return;
    }
    exchange->abort();
    pending->onError(error);
}

std::optional<BoundedHttpFetch::Pending> BoundedHttpFetch::release(HttpExchange* exchange) {
    const auto it = m_pending.find(exchange);
    if (it == m_pending.end()) {
        return std::nullopt;
    }
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    exchange->disconnect(this);
    exchange->deleteLater();
    return pending;
}

}  // namespace mintlux
