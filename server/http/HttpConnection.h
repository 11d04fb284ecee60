#pragma once

#include "http/HttpMessage.h"

#include <QByteArray>
#include <QObject>

class QTcpSocket;

namespace mintlux::server {

class HttpWorker;

// One client connection: reads requests, answers them in order, enforces the limits.
class HttpConnection : public QObject {
public:
    HttpConnection(HttpWorker& worker, QTcpSocket* socket);
    ~HttpConnection() override;

    // Called by the server's sweep: closes the connection if it overstayed a deadline, or, when
    // `crowded`, if it sits idle while others wait for its slot.
    void checkDeadline(qint64 nowMs, bool crowded);

private:
    void readAvailable();
    void process();
    // Parses one request out of m_buffer[0, headerEnd); false when it was answered with an error.
    bool handleRequest(qsizetype headerEnd, qsizetype consumed);
    // Bytes of a request have arrived, read or not.
    bool requestWaiting() const;
    // Whether the connection is to make way for a waiting client after this answer.
    bool turnOver() const;
    // Picks the representation the request takes, or 304 when it holds that one already.
    void respond(const HttpResponse& response, bool keepAlive, bool headOnly,
                 QByteArrayView ifNoneMatch, bool gzip);
    void send(const QByteArray& head, const QByteArray& body);
    void fail(int status, const char* message);
    void closeAfterWrite();
    void abandon();

    HttpWorker& m_worker;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    qint64 m_deadlineMs = 0;
    qint64 m_openedMs = 0;
    bool m_inRequest = false;  // bytes of an unfinished request are buffered
    bool m_closing = false;
    bool m_answered = false;  // at least one request answered
};

}  // namespace mintlux::server
