#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace mintlux {

// Why a request produced no answer, in the transport's own terms (a log line and the app's
// message pick their words by it).
enum class NetworkFault {
    none,
    connectionRefused,
    remoteClosed,  // closed or reset before the answer was whole
    hostNotFound,
    timedOut,
    cancelled,
    tlsFailed,
    proxyFailed,
    networkDown,
    unknownProtocol,
    insecureRedirect,  // https to http
    tooManyRedirects,
    protocolFailure,  // what came back is no HTTP answer
    unknownContent,   // an answer, but a body we refuse (too large, undecodable)
    other,
};

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

// Case-insensitive, the first of that name.
QByteArray headerValue(const HttpHeaders& headers, QByteArrayView name);

struct HttpRequest {
    QUrl url;
    HttpHeaders headers;
    // The longest gap without data; zero for none.
    std::chrono::milliseconds silenceTimeout{0};
    // Followed as browsers do (never from https to http), up to this many.
    int maxRedirects = 50;
    // What the transport may buffer ahead of the reader; zero for no bound.
    qint64 readBufferSize = 0;

    bool hasHeader(QByteArrayView name) const;
    void setHeader(const QByteArray& name, const QByteArray& value);
};

// One GET in flight. headReady() comes once the final answer's head is in (after any redirect),
// readyRead() as body bytes arrive, finished() exactly once, whether the answer is whole
// (fault() none, any status) or the exchange failed.
class HttpExchange : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    int status() const { return m_status; }
    const HttpHeaders& headers() const { return m_headers; }
    QByteArray header(QByteArrayView name) const { return headerValue(m_headers, name); }
    qint64 bytesAvailable() const { return m_body.size(); }
    QByteArray takeBody() { return std::exchange(m_body, {}); }
    bool isFinished() const { return m_finished; }
    NetworkFault fault() const { return m_fault; }
    QString faultText() const { return m_faultText; }

    // Fails the exchange as cancelled, unless it already finished.
    virtual void abort() = 0;

signals:
    void headReady();
    void readyRead();
    void finished();

protected:
    void setHead(int status, HttpHeaders headers);
    void deliver(QByteArray bytes);
    void complete();
    void fail(NetworkFault fault, const QString& text);

private:
    int m_status = 0;
    HttpHeaders m_headers;
    QByteArray m_body;
    bool m_finished = false;
    NetworkFault m_fault = NetworkFault::none;
    QString m_faultText;
};

// Starts a GET; the exchange is the caller's, parented to `parent`.
using HttpTransport = std::function<HttpExchange*(const HttpRequest&, QObject* parent)>;

// HTTP/1.1 over a socket of its own on this thread, a connection per request. Plain sockets for
// http; https through a module loaded on first use (TLS needs the network library, which an app
// that polls a loopback service over http should not map).
HttpExchange* socketExchange(const HttpRequest& request, QObject* parent);

}  // namespace mintlux
