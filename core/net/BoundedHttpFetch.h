#pragma once

#include "net/HttpExchange.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace mintlux {

class GzipDecoder;

// What a server answered: delivered whenever a complete HTTP answer arrived, whatever its status.
// What the status means is the caller's business.
struct HttpAnswer {
    int status = 0;
    QByteArray mediaType;  // lower case, parameters dropped ("application/json")
    QByteArray body;
    HttpHeaders headers;

    QByteArray header(QByteArrayView name) const { return headerValue(headers, name); }
};

// GET requests bounded in time and size. Every failure to get an answer reaches the caller as a
// TransportError: refused, reset or closed early, timed out, a body over the limit, or a request
// still running when this object goes. Unless the request names its own Accept-Encoding, gzip is
// asked for and inflated here, so that the limit holds on the decoded body: a small compressed
// body that would inflate past it is refused part-way, never decoded whole.
class BoundedHttpFetch : public QObject {
public:
    enum class Deadline {
        silence,        // the longest gap without data
        wholeTransfer,  // the whole exchange, so a server trickling bytes cannot hold it open
    };
    struct Limits {
        std::chrono::milliseconds timeout;
        qint64 maxBodyBytes;
        Deadline deadline;
    };
    using OnAnswer = std::function<void(HttpAnswer)>;
    using OnError = std::function<void(std::exception_ptr)>;

    // `requestName` opens every error message: "<requestName> to <url> timed out after ...".
    // Without a transport, each request goes over a socket of its own on this thread
    // (socketExchange), so an idle poll wakes no worker thread.
    BoundedHttpFetch(HttpTransport transport, Limits limits, QString requestName);
    // Requests still running fail with a cancelled TransportError, before this returns.
    ~BoundedHttpFetch() override;

    // Exactly one of the two callbacks runs, never from within this call.
    void get(HttpRequest request, OnAnswer onAnswer, OnError onError);

    const Limits& limits() const { return m_limits; }
    std::string describe(const QUrl& url) const;

private:
    struct Pending {
        std::uint64_t id;
        QUrl url;
        QByteArray body;
        OnAnswer onAnswer;
        OnError onError;
        bool decodes = false;  // we asked for gzip ourselves
        qint64 received = 0;   // bytes as sent, before decoding
        std::unique_ptr<GzipDecoder> gzip;
    };

    void readAvailable(HttpExchange* exchange);
    void finished(HttpExchange* exchange);
    void abandon(HttpExchange* exchange, std::exception_ptr error);
    void tooLarge(HttpExchange* exchange, const Pending& pending);
    // Fails the request with `what` after its description.
    void undecodable(HttpExchange* exchange, const Pending& pending, const std::string& what);
    std::optional<Pending> release(HttpExchange* exchange);

    HttpTransport m_transport;
    Limits m_limits;
    QString m_requestName;
    std::unordered_map<HttpExchange*, Pending> m_pending;
    std::uint64_t m_lastId = 0;
};

}  // namespace mintlux
