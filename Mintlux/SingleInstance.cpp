#include "SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace mintlux {

namespace {
constexpr int kAnswerTimeoutMs = 2000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kAcknowledged = QByteArrayLiteral("ok\n");
}  // namespace

QString SingleInstance::defaultSocketName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists()) {
        return QDir(runtime).filePath(QStringLiteral("mintlux.socket"));
    }
    return QStringLiteral("mintlux-%1").arg(::getuid());
}

SingleInstance::SingleInstance(QString socketName, QObject* parent)
    : QObject(parent), m_socketName(std::move(socketName)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(m_socketName);
    if (!socket.waitForConnected(kAnswerTimeoutMs)) {
        return false;
    }
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs)) {
        return false;
    }
    while (socket.bytesAvailable() < kAcknowledged.size()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs)) {
            return false;
        }
    }
    return socket.readAll().startsWith(kAcknowledged);
}

bool SingleInstance::claim() {
    if (m_server) {
        return true;
    }
    if (askRunningInstance()) {
        return false;
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_socketName)) {
        // Nobody answered, so what holds the name is a dead copy's socket file.
        QLocalServer::removeServer(m_socketName);
        if (!server->listen(m_socketName)) {
            delete server;
            // Running without the guard beats not running at all.
            return true;
        }
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) {
                    return;
                }
                const QByteArray request = client->readLine();
                if (request == kShowRequest) {
                    client->write(kAcknowledged);
                    client->flush();
                    if (m_onShow) {
                        m_onShow();
                    }
                }
                client->disconnectFromServer();
            });
        }
    });
    return true;
}

}  // namespace mintlux
