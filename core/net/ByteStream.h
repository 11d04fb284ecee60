#pragma once

#include "net/HttpExchange.h"

#include <memory>
#include <sys/socket.h>
#include <vector>

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

namespace mintlux {

// A connected byte stream, plain or TLS, driven by this thread's event loop.
class ByteStream : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // connected() once bytes can be written (for TLS, after the handshake), or failed().
    virtual void open(const QString& host, quint16 port) = 0;
    virtual void write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;

signals:
    void connected();
    void readyRead();
    // The peer closed its side; what it sent before is still to be read.
    void closed();
    void failed(mintlux::NetworkFault fault, const QString& text);
};

// TCP over plain sockets and notifiers. A numeric host connects at once; a name is resolved on
// a pool thread, so a slow resolver never blocks the event loop.
class PlainStream final : public ByteStream {
    Q_OBJECT
public:
    explicit PlainStream(QObject* parent = nullptr);
    ~PlainStream() override;

    void open(const QString& host, quint16 port) override;
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;

    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    struct Resolved {
        std::vector<Address> addresses;
        QString error;
    };

private:
    void connectNext();
    void connectDone();
    void readable();
    void flush();
    void closeSocket();
    void failWithErrno(int error);

    std::vector<Address> m_addresses;
    std::size_t m_next = 0;
    int m_lastError = 0;
    int m_fd = -1;
    bool m_connected = false;
    QByteArray m_out;
    QByteArray m_in;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QFutureWatcher<Resolved>* m_lookup = nullptr;
};

namespace tls {

// Where the TLS module is looked for: beside the executable, in these directories, then where
// it is installed relative to the executable. The build's tests add the build tree.
void setExtraModuleDirs(QStringList dirs);

// A TLS stream from the module, or nullptr with `why` set when the module cannot be loaded.
std::unique_ptr<ByteStream> makeStream(QObject* parent, QString& why);

}  // namespace tls

}  // namespace mintlux
