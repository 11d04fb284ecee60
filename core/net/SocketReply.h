#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

class QAbstractSocket;

namespace mintlux {

// One HTTP/1.1 GET over a socket of its own, on the thread that made it, as a QNetworkReply.
// The app's poll goes through this rather than QNetworkAccessManager, whose worker thread wakes
// several times for every request of an otherwise idle process; a connection per request
// (Connection: close) is nothing on loopback and leaves no idle socket to be closed later.
//
// It follows redirects as the access manager does by default (never from https to http, at
// most the request's maximum), honours the request's transfer time-out and TLS configuration,
// reads chunked, length-delimited and close-delimited bodies, and leaves Content-Encoding to the
// reader. Any complete answer finishes without error whatever its status.
class SocketReply final : public QNetworkReply {
    Q_OBJECT
public:
    explicit SocketReply(const QNetworkRequest& request, QObject* parent = nullptr);
    ~SocketReply() override;

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    enum class Body { none, length, chunked, untilClose };

    void connectTo(const QUrl& url);
    void sendRequest();
    void receive();
    bool parseHead();
    bool parseBody();
    bool parseChunks();
    void closed();
    void complete();
    void fail(NetworkError error, const QString& message);
    void dropSocket();

    QAbstractSocket* m_socket = nullptr;
    QTimer m_silence;
    QByteArray m_in;    // as received, not yet parsed
    QByteArray m_body;  // parsed, not yet read
    Body m_bodyKind = Body::none;
    qint64 m_remaining = 0;  // of the body, or of the current chunk
    bool m_headDone = false;
    bool m_chunkTrailer = false;  // inside a chunk's closing CRLF or the trailer section
    bool m_chunksEnded = false;
    int m_redirects = 0;
    bool m_done = false;
};

}  // namespace mintlux
