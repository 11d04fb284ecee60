#include "net/BoundedHttpFetch.h"

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
    : m_network(&network), m_limits(limits), m_requestName(std::move(requestName)) {}

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
    QNetworkReply* reply = m_network->get(request);
    // Bounds what Qt buffers ahead of us if the event loop is busy while a body streams in.
    reply->setReadBufferSize(m_limits.maxBodyBytes);
    const std::uint64_t id = ++m_lastId;
    m_pending.emplace(reply,
                      Pending{id, request.url(), {}, std::move(onAnswer), std::move(onError)});

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
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 incoming = reply->bytesAvailable();
    if (pending.body.size() + incoming > m_limits.maxBodyBytes ||
        (declared.isValid() && declared.toLongLong() > m_limits.maxBodyBytes)) {
        const std::string description = describe(pending.url) + " answered more than " +
                                        std::to_string(m_limits.maxBodyBytes) + " bytes";
        abandon(reply, std::make_exception_ptr(TransportError(TransportError::Kind::bodyTooLarge,
                                                              NetworkError::UnknownContentError,
                                                              description)));
        return;
    }
    if (incoming > 0) {
        pending.body += reply->read(incoming);
    }
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
