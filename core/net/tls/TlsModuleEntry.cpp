// The TLS module: QSslSocket behind plain C entry points. Loaded by an app only when it asks an
// https address, so that QtNetwork and what it pulls in stay unmapped otherwise.

#include "net/HttpExchange.h"
#include "net/tls/TlsModuleApi.h"

#include <QSslSocket>

namespace {

using mintlux::NetworkFault;

NetworkFault faultOf(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return NetworkFault::connectionRefused;
        case QAbstractSocket::RemoteHostClosedError:
            return NetworkFault::remoteClosed;
        case QAbstractSocket::HostNotFoundError:
            return NetworkFault::hostNotFound;
        case QAbstractSocket::SocketTimeoutError:
            return NetworkFault::timedOut;
        case QAbstractSocket::NetworkError:
            return NetworkFault::networkDown;
        case QAbstractSocket::SslHandshakeFailedError:
        case QAbstractSocket::SslInternalError:
        case QAbstractSocket::SslInvalidUserDataError:
            return NetworkFault::tlsFailed;
        case QAbstractSocket::ProxyConnectionRefusedError:
        case QAbstractSocket::ProxyConnectionClosedError:
        case QAbstractSocket::ProxyConnectionTimeoutError:
        case QAbstractSocket::ProxyNotFoundError:
        case QAbstractSocket::ProxyProtocolError:
        case QAbstractSocket::ProxyAuthenticationRequiredError:
            return NetworkFault::proxyFailed;
        default:
            return NetworkFault::other;
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* mintluxTlsVersion() {
    return MINTLUX_VERSION;
}

__attribute__((visibility("default"))) void* mintluxTlsOpen(const char* host, unsigned short port,
                                                            const MintluxTlsEvents* events) {
    auto* socket = new QSslSocket;
    const MintluxTlsEvents e = *events;
    QObject::connect(socket, &QSslSocket::encrypted, socket, [e] { e.connected(e.context); });
    QObject::connect(socket, &QSslSocket::readyRead, socket, [e] { e.readable(e.context); });
    QObject::connect(socket, &QSslSocket::disconnected, socket, [e] { e.closed(e.context); });
    QObject::connect(socket, &QSslSocket::errorOccurred, socket,
                     [e, socket](QAbstractSocket::SocketError error) {
                         if (error == QAbstractSocket::RemoteHostClosedError) {
                             e.closed(e.context);
                             return;
                         }
                         e.failed(e.context, static_cast<int>(faultOf(error)),
                                  socket->errorString().toUtf8().constData());
                     });
    socket->connectToHostEncrypted(QString::fromUtf8(host), port);
    return socket;
}

__attribute__((visibility("default"))) void mintluxTlsWrite(void* stream, const char* data,
                                                            long long size) {
    static_cast<QSslSocket*>(stream)->write(data, size);
}

__attribute__((visibility("default"))) long long mintluxTlsRead(void* stream, char* data,
                                                                long long max) {
    const qint64 n = static_cast<QSslSocket*>(stream)->read(data, max);
    return n > 0 ? n : 0;
}

__attribute__((visibility("default"))) void mintluxTlsClose(void* stream) {
    auto* socket = static_cast<QSslSocket*>(stream);
    // Possibly called from inside one of the socket's own signals: it goes once they return.
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}
}
