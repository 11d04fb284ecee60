#include "net/AccessManagerExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

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

NetworkFault faultOf(NetworkError error) {
    using E = NetworkError;
    switch (error) {
        case E::ConnectionRefusedError:
            return NetworkFault::connectionRefused;
        case E::RemoteHostClosedError:
            return NetworkFault::remoteClosed;
        case E::HostNotFoundError:
            return NetworkFault::hostNotFound;
        // Only abort() cancels, and it fails the exchange first: a cancellation seen here is
        // the transfer time-out firing.
        case E::TimeoutError:
        case E::OperationCanceledError:
            return NetworkFault::timedOut;
        case E::SslHandshakeFailedError:
            return NetworkFault::tlsFailed;
        case E::TemporaryNetworkFailureError:
        case E::NetworkSessionFailedError:
            return NetworkFault::networkDown;
        case E::ProxyConnectionRefusedError:
        case E::ProxyConnectionClosedError:
        case E::ProxyNotFoundError:
        case E::ProxyTimeoutError:
        case E::ProxyAuthenticationRequiredError:
            return NetworkFault::proxyFailed;
        case E::ProtocolUnknownError:
            return NetworkFault::unknownProtocol;
        case E::InsecureRedirectError:
            return NetworkFault::insecureRedirect;
        case E::TooManyRedirectsError:
            return NetworkFault::tooManyRedirects;
        case E::ProtocolFailure:
            return NetworkFault::protocolFailure;
        default:
            return NetworkFault::other;
    }
}

class AccessManagerExchange final : public HttpExchange {
public:
    AccessManagerExchange(QNetworkAccessManager& network, const HttpRequest& request,
                          QObject* parent)
        : HttpExchange(parent) {
        QNetworkRequest qt(request.url);
        for (const auto& [name, value] : request.headers) {
            qt.setRawHeader(name, value);
        }
        qt.setTransferTimeout(static_cast<int>(request.silenceTimeout.count()));
        qt.setMaximumRedirectsAllowed(request.maxRedirects);
        m_reply = network.get(qt);
        m_reply->setReadBufferSize(request.readBufferSize);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] { head(); });
        connect(m_reply, &QNetworkReply::readyRead, this, [this] { read(); });
        connect(m_reply, &QNetworkReply::finished, this, [this] { finish(); });
    }
    ~AccessManagerExchange() override { drop(); }

    void abort() override {
        drop();
        fail(NetworkFault::cancelled, QStringLiteral("Operation canceled"));
    }

private:
    // A redirect the manager follows shows its headers too: only the final answer's count.
    void head() {
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid() || m_headSent) {
            return;
        }
        const int code = status.toInt();
        if (code >= 300 && code <= 399 && m_reply->hasRawHeader("Location")) {
            return;
        }
        m_headSent = true;
        HttpHeaders headers;
        for (const auto& header : m_reply->rawHeaderPairs()) {
            headers.emplace_back(header.first, header.second);
        }
        setHead(code, std::move(headers));
    }
    void read() {
        head();
        if (m_reply != nullptr && m_headSent) {
            deliver(m_reply->readAll());
        }
    }
    void finish() {
        QNetworkReply* reply = m_reply;
        if (reply == nullptr) {
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const NetworkError error = reply->error();
        if (status.isValid() && fromStatus(error)) {
            if (!m_headSent) {
                m_headSent = true;
                HttpHeaders headers;
                for (const auto& header : reply->rawHeaderPairs()) {
                    headers.emplace_back(header.first, header.second);
                }
                setHead(status.toInt(), std::move(headers));
            }
            // The reader may have given up on the head alone.
            if (m_reply != nullptr) {
                deliver(reply->readAll());
            }
            drop();
            complete();
            return;
        }
        const QString text = reply->errorString();
        drop();
        fail(faultOf(error), text);
    }
    void drop() {
        if (m_reply != nullptr) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
            m_reply = nullptr;
        }
    }

    QNetworkReply* m_reply = nullptr;
    bool m_headSent = false;
};

}  // namespace

HttpTransport accessManagerTransport(QNetworkAccessManager& network) {
    return [&network](const HttpRequest& request, QObject* parent) -> HttpExchange* {
        return new AccessManagerExchange(network, request, parent);
    };
}

HttpTransport accessManagerTransport(std::shared_ptr<QNetworkAccessManager> network) {
    return [network](const HttpRequest& request, QObject* parent) -> HttpExchange* {
        return new AccessManagerExchange(*network, request, parent);
    };
}

}  // namespace mintlux
