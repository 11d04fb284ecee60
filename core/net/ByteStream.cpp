#include "net/ByteStream.h"

#include "net/tls/TlsModuleApi.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPromise>
#include <QSocketNotifier>
#include <QThreadPool>

#if !defined(MINTLUX_TLS_MODULE_FILE) || !defined(MINTLUX_MODULE_INSTALL_DIR)
#error "the build names the TLS module's file and its place relative to the executable"
#endif

namespace mintlux {

namespace {

// Read per wake-up before the event loop gets a turn; the reader bounds the total.
constexpr qsizetype kReadChunk = 64 * 1024;

PlainStream::Resolved resolve(const QByteArray& host, quint16 port, bool numericOnly) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: it hides loopback where loopback is the only interface.
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int status = ::getaddrinfo(host.constData(), service.constData(), &hints, &found);
    PlainStream::Resolved resolved;
    if (status != 0) {
        resolved.error = status == EAI_SYSTEM ? QString::fromLocal8Bit(std::strerror(errno))
                                              : QString::fromLocal8Bit(::gai_strerror(status));
        return resolved;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_addrlen <= sizeof(sockaddr_storage)) {
            PlainStream::Address address;
            std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
            address.length = a->ai_addrlen;
            resolved.addresses.push_back(address);
        }
    }
    ::freeaddrinfo(found);
    return resolved;
}

NetworkFault faultOf(int error) {
    switch (error) {
        case ECONNREFUSED:
            return NetworkFault::connectionRefused;
        case ECONNRESET:
        case EPIPE:
            return NetworkFault::remoteClosed;
        case ETIMEDOUT:
            return NetworkFault::timedOut;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
            return NetworkFault::networkDown;
        default:
            return NetworkFault::other;
    }
}

}  // namespace

PlainStream::PlainStream(QObject* parent) : ByteStream(parent) {}

PlainStream::~PlainStream() {
    closeSocket();
}

void PlainStream::open(const QString& host, quint16 port) {
    QByteArray name = host.toUtf8();
    if (name.startsWith('[') && name.endsWith(']')) {
        name = name.mid(1, name.size() - 2);
    }
    Resolved numeric = resolve(name, port, true);
    if (!numeric.addresses.empty()) {
        m_addresses = std::move(numeric.addresses);
        QMetaObject::invokeMethod(this, &PlainStream::connectNext, Qt::QueuedConnection);
        return;
    }
    auto promise = std::make_shared<QPromise<Resolved>>();
    m_lookup = new QFutureWatcher<Resolved>(this);
    connect(m_lookup, &QFutureWatcherBase::finished, this, [this] {
        Resolved resolved = m_lookup->result();
        if (resolved.addresses.empty()) {
            emit failed(NetworkFault::hostNotFound,
                        QStringLiteral("Host not found (%1)").arg(resolved.error));
            return;
        }
        m_addresses = std::move(resolved.addresses);
        connectNext();
    });
    m_lookup->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, name, port] {
        promise->addResult(resolve(name, port, false));
        promise->finish();
    });
}

void PlainStream::connectNext() {
    closeSocket();
    while (m_next < m_addresses.size()) {
        const Address& address = m_addresses[m_next++];
        m_fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_lastError = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) ==
            0) {
            connectDone();
            return;
        }
        if (errno == EINPROGRESS) {
            m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] {
                int error = 0;
                socklen_t length = sizeof error;
                if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
                if (error == 0) {
                    delete std::exchange(m_writeNotifier, nullptr);
                    connectDone();
                } else {
                    m_lastError = error;
                    connectNext();
                }
            });
            return;
        }
        m_lastError = errno;
        closeSocket();
    }
    failWithErrno(m_lastError != 0 ? m_lastError : ECONNREFUSED);
}

void PlainStream::connectDone() {
    m_connected = true;
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PlainStream::readable);
    emit connected();
    flush();
}

void PlainStream::write(const QByteArray& bytes) {
    m_out += bytes;
    if (m_connected) {
        flush();
    }
}

void PlainStream::flush() {
    while (!m_out.isEmpty() && m_fd >= 0) {
        const ssize_t n =
            ::send(m_fd, m_out.constData(), static_cast<size_t>(m_out.size()), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (m_writeNotifier == nullptr) {
                m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
                connect(m_writeNotifier, &QSocketNotifier::activated, this, &PlainStream::flush);
            }
            return;
        }
        if (n < 0) {
            failWithErrno(errno);
            return;
        }
        m_out.remove(0, n);
    }
    delete std::exchange(m_writeNotifier, nullptr);
}

void PlainStream::readable() {
    for (;;) {
        if (m_in.size() >= kReadChunk) {
            break;
        }
        char buffer[16384];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_in.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        // End of stream, or a reset, which ends it as surely.
        const int error = n < 0 ? errno : 0;
        closeSocket();
        if (!m_in.isEmpty()) {
            emit readyRead();
        }
        if (error == 0 || error == ECONNRESET) {
            emit closed();
        } else {
            failWithErrno(error);
        }
        return;
    }
    if (!m_in.isEmpty()) {
        emit readyRead();
    }
}

QByteArray PlainStream::readAll() {
    return std::exchange(m_in, {});
}

void PlainStream::closeSocket() {
    delete std::exchange(m_readNotifier, nullptr);
    delete std::exchange(m_writeNotifier, nullptr);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_connected = false;
}

void PlainStream::failWithErrno(int error) {
    closeSocket();
    emit failed(faultOf(error), QString::fromLocal8Bit(std::strerror(error)));
}

namespace tls {

namespace {

struct Module {
    MintluxTlsOpen* open = nullptr;
    MintluxTlsWrite* write = nullptr;
    MintluxTlsRead* read = nullptr;
    MintluxTlsClose* close = nullptr;
    QString error;
};

Module unavailable(QString why) {
    Module module;
    module.error = std::move(why);
    return module;
}

std::mutex g_mutex;
QStringList g_extraDirs;

Module load() {
    const QString executableDir = QCoreApplication::applicationDirPath();
    const QStringList dirs = QStringList{executableDir} + g_extraDirs +
                             QStringList{QDir::cleanPath(
                                 executableDir + QStringLiteral("/" MINTLUX_MODULE_INSTALL_DIR))};
    const QString file = QStringLiteral(MINTLUX_TLS_MODULE_FILE);
    for (const QString& dir : dirs) {
        const QString path = QDir(dir).filePath(file);
        if (!QFileInfo::exists(path)) {
            continue;
        }
        QLibrary library(path);
        if (!library.load()) {
            return unavailable(library.errorString());
        }
        auto* version = reinterpret_cast<MintluxTlsVersion*>(library.resolve(kVersionSymbol));
        if (version == nullptr) {
            return unavailable(library.errorString());
        }
        // A module installed over the running app by an upgrade is another build's.
        if (qstrcmp(version(), MINTLUX_VERSION) != 0) {
            return unavailable(
                QStringLiteral("%1 is of Mintlux %2, this is Mintlux %3")
                    .arg(path, QString::fromUtf8(version()), QStringLiteral(MINTLUX_VERSION)));
        }
        Module module{reinterpret_cast<MintluxTlsOpen*>(library.resolve(kOpenSymbol)),
                      reinterpret_cast<MintluxTlsWrite*>(library.resolve(kWriteSymbol)),
                      reinterpret_cast<MintluxTlsRead*>(library.resolve(kReadSymbol)),
                      reinterpret_cast<MintluxTlsClose*>(library.resolve(kCloseSymbol)),
                      {}};
        if (!module.open || !module.write || !module.read || !module.close) {
            return unavailable(library.errorString());
        }
        return module;
    }
    return unavailable(QStringLiteral("%1 is in none of %2").arg(file, dirs.join(u", ")));
}

// Loaded once it loads; while it does not, every attempt tries again.
Module module() {
    static Module loaded;
    std::lock_guard lock(g_mutex);
    if (loaded.open == nullptr) {
        loaded = load();
    }
    return loaded;
}

class TlsStream final : public ByteStream {
public:
    TlsStream(Module module, QObject* parent) : ByteStream(parent), m_module(std::move(module)) {
        m_events.context = this;
        m_events.connected = [](void* self) { emit static_cast<TlsStream*>(self)->connected(); };
        m_events.readable = [](void* self) { emit static_cast<TlsStream*>(self)->readyRead(); };
        m_events.closed = [](void* self) { emit static_cast<TlsStream*>(self)->closed(); };
        m_events.failed = [](void* self, int fault, const char* message) {
            emit static_cast<TlsStream*>(self)->failed(static_cast<NetworkFault>(fault),
                                                       QString::fromUtf8(message));
        };
    }
    ~TlsStream() override {
        if (m_stream != nullptr) {
            m_module.close(m_stream);
        }
    }

    void open(const QString& host, quint16 port) override {
        m_stream = m_module.open(host.toUtf8().constData(), port, &m_events);
    }
    void write(const QByteArray& bytes) override {
        m_module.write(m_stream, bytes.constData(), bytes.size());
    }
    QByteArray readAll() override {
        QByteArray all;
        char buffer[16384];
        while (const long long n = m_module.read(m_stream, buffer, sizeof buffer)) {
            all.append(buffer, static_cast<qsizetype>(n));
        }
        return all;
    }

private:
    Module m_module;
    MintluxTlsEvents m_events{};
    void* m_stream = nullptr;
};

}  // namespace

void setExtraModuleDirs(QStringList dirs) {
    std::lock_guard lock(g_mutex);
    g_extraDirs = std::move(dirs);
}

std::unique_ptr<ByteStream> makeStream(QObject* parent, QString& why) {
    Module loaded = module();
    if (loaded.open == nullptr) {
        why = loaded.error;
        return nullptr;
    }
    return std::make_unique<TlsStream>(std::move(loaded), parent);
}

}  // namespace tls

}  // namespace mintlux
