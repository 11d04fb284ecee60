#include "SingleInstance.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

namespace mintlux {

namespace {

constexpr int kAnswerTimeoutMs = 2000;
// A copy of this app says its line at once; a client silent this long is hung up on.
constexpr int kClientSilenceMs = 2000;
// Longer than any request; a client that sends this much without a newline is not a copy.
constexpr std::size_t kMaxRequest = 64;
// Clients served at once; more are hung up on, so that a flood cannot exhaust descriptors.
constexpr int kMaxClients = 8;
// The wire protocol earlier builds speak too, so that either finds the other.
constexpr std::string_view kShowRequest = "show\n";
constexpr std::string_view kAcknowledged = "ok\n";
constexpr int kSocketFlags = SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK;

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            const int error = errno;
            ::close(m_fd);
            errno = error;
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool toAddress(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.contains('\0') ||
        static_cast<std::size_t>(path.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

const sockaddr* asSockaddr(const sockaddr_un& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}

// Whether `events` came on `fd` before the deadline.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(deadline.remainingTime()));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// A socket bound at `path` and listening, and the file it made; -1 with errno set on failure.
int listeningSocket(const QByteArray& path, struct stat& bound) {
    sockaddr_un address;
    if (!toAddress(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    Descriptor socket(::socket(AF_UNIX, kSocketFlags, 0));
    // bind() gives the file the socket's own mode less the umask; the process's umask is
    // shared with other threads.
    if (socket.get() < 0 || ::fchmod(socket.get(), S_IRUSR | S_IWUSR) != 0 ||
        ::bind(socket.get(), asSockaddr(address), sizeof address) != 0) {
        return -1;
    }
    if (::lstat(path.constData(), &bound) != 0 || ::listen(socket.get(), kMaxClients) != 0) {
        const int error = errno;
        ::unlink(path.constData());
        errno = error;
        return -1;
    }
    return socket.release();
}

}  // namespace

// One connection to the running copy, hung up on after its one line or its silence.
class SingleInstance::Client : public QObject {
public:
    Client(int fd, SingleInstance* owner) : QObject(owner), m_fd(fd), m_owner(owner) {
        ++m_owner->m_clientCount;
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Client::read);
        QTimer::singleShot(kClientSilenceMs, this, &Client::hangUp);
    }
    ~Client() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

private:
    void read() {
        const ssize_t got = ::recv(m_fd, m_request + m_size, kMaxRequest - m_size, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (got <= 0) {
            hangUp();
            return;
        }
        m_size += static_cast<std::size_t>(got);
        const std::string_view received(m_request, m_size);
        const std::size_t end = received.find('\n');
        if (end == std::string_view::npos) {
            if (m_size == kMaxRequest) {
                hangUp();
            }
            return;
        }
        const bool show = received.substr(0, end + 1) == kShowRequest;
        if (show) {
            // Three bytes into a fresh socket's buffer: never short, never blocking.
            ::send(m_fd, kAcknowledged.data(), kAcknowledged.size(), MSG_NOSIGNAL);
        }
        SingleInstance* owner = m_owner;
        hangUp();
        if (show && owner->m_onShow) {
            owner->m_onShow();
        }
    }

    void hangUp() {
        if (m_fd < 0) {
            return;
        }
        m_notifier->setEnabled(false);
        ::close(m_fd);
        m_fd = -1;
        --m_owner->m_clientCount;
        deleteLater();
    }

    int m_fd;
    SingleInstance* m_owner;
    QSocketNotifier* m_notifier;
    char m_request[kMaxRequest];
    std::size_t m_size = 0;
};

QString SingleInstance::defaultSocketName() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat directory {};
    // Someone else's runtime directory (an environment kept across su, say) is not this user's.
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &directory) == 0 &&
        S_ISDIR(directory.st_mode) && directory.st_uid == ::getuid()) {
        return QDir(QFile::decodeName(runtime)).filePath(QStringLiteral("mintlux.socket"));
    }
    // Where earlier builds put it, so that one of them still running is found.
    return QDir(QDir::tempPath()).filePath(QStringLiteral("mintlux-%1").arg(::getuid()));
}

SingleInstance::SingleInstance(QString socketName, QObject* parent)
    : QObject(parent), m_socketName(std::move(socketName)) {}

SingleInstance::~SingleInstance() {
    if (m_listenFd < 0) {
        return;
    }
    delete m_listenNotifier;
    // A later copy may have put its own socket at the name since (after the temporary
    // directory was cleaned, say); that one stays.
    const QByteArray path = QFile::encodeName(m_socketName);
    struct stat current {};
    if (::lstat(path.constData(), &current) == 0 && current.st_dev == m_boundDevice &&
        current.st_ino == m_boundInode) {
        ::unlink(path.constData());
    }
    ::close(m_listenFd);
}

SingleInstance::Answer SingleInstance::askRunningInstance() const {
    sockaddr_un address;
    if (!toAddress(QFile::encodeName(m_socketName), address)) {
        return Answer::Unusable;
    }
    const Descriptor socket(::socket(AF_UNIX, kSocketFlags, 0));
    if (socket.get() < 0) {
        return Answer::Unusable;
    }
    if (::connect(socket.get(), asSockaddr(address), sizeof address) != 0) {
        switch (errno) {
            case ENOENT:
                return Answer::Nobody;
            case ECONNREFUSED:
                return Answer::Stale;
            default:
                // EAGAIN among them: a copy with its queue full is alive all the same.
                return Answer::Unusable;
        }
    }
    // In the shared temporary directory the name may have been taken by another user.
    ucred peer{};
    socklen_t peerSize = sizeof peer;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) != 0 ||
        peer.uid != ::getuid()) {
        return Answer::Unusable;
    }

    const QDeadlineTimer deadline(kAnswerTimeoutMs);
    std::size_t sent = 0;
    while (sent < kShowRequest.size()) {
        const ssize_t wrote = ::send(socket.get(), kShowRequest.data() + sent,
                                     kShowRequest.size() - sent, MSG_NOSIGNAL);
        if (wrote >= 0) {
            sent += static_cast<std::size_t>(wrote);
        } else if (errno != EINTR &&
                   (errno != EAGAIN || !waitFor(socket.get(), POLLOUT, deadline))) {
            return Answer::Unusable;
        }
    }
    char answer[kAcknowledged.size()];
    std::size_t received = 0;
    while (received < kAcknowledged.size()) {
        const ssize_t got =
            ::recv(socket.get(), answer + received, kAcknowledged.size() - received, 0);
        if (got > 0) {
            received += static_cast<std::size_t>(got);
        } else if (got == 0 || (errno != EINTR &&
                                (errno != EAGAIN || !waitFor(socket.get(), POLLIN, deadline)))) {
            return Answer::Unusable;
        }
    }
    return std::string_view(answer, received) == kAcknowledged ? Answer::Shown : Answer::Unusable;
}

SingleInstance::Bound SingleInstance::listen() {
    // Listening under a name of its own first, the socket appears at the real name only once
    // it can answer: a launch at the same moment never finds it refusing and takes it for a
    // dead copy's.
    const QByteArray path = QFile::encodeName(m_socketName);
    const QByteArray staging = path + '.' + QByteArray::number(::getpid());
    struct stat bound {};
    ::unlink(staging.constData());  // a copy that died at this step with the same pid
    int fd = listeningSocket(staging, bound);
    if (fd >= 0) {
        const bool linked = ::link(staging.constData(), path.constData()) == 0;
        const int error = errno;
        ::unlink(staging.constData());
        if (!linked) {
            ::close(fd);
            fd = -1;
            if (error == EEXIST) {
                return Bound::Taken;
            }
        }
    }
    if (fd < 0) {
        // Where the staging name or the hard link is refused, the name itself still serves.
        fd = listeningSocket(path, bound);
        if (fd < 0) {
            return errno == EADDRINUSE ? Bound::Taken : Bound::Failed;
        }
    }
    m_listenFd = fd;
    m_boundDevice = bound.st_dev;
    m_boundInode = bound.st_ino;
    m_listenNotifier = new QSocketNotifier(m_listenFd, QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &SingleInstance::acceptClients);
    return Bound::Yes;
}

void SingleInstance::acceptClients() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            if (m_clientCount < kMaxClients) {
                new Client(fd, this);
            } else {
                ::close(fd);
            }
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if (errno != EAGAIN) {
            // Out of descriptors: the pending connection would wake this at once, again and
            // again, so pause a while.
            m_listenNotifier->setEnabled(false);
            QTimer::singleShot(100, m_listenNotifier,
                               [notifier = m_listenNotifier] { notifier->setEnabled(true); });
        }
        return;
    }
}

bool SingleInstance::claim() {
    if (m_listenFd >= 0) {
        return true;
    }
    // Losing the name to a launch at the same moment means asking that one instead.
    for (int attempt = 0; attempt < 3; ++attempt) {
        switch (askRunningInstance()) {
            case Answer::Shown:
                return false;
            case Answer::Unusable:
                // Alive but not answering, or not ours: its socket stays, and running without
                // the guard beats not running at all.
                return true;
            case Answer::Stale:
                // Nobody listens on it, so the file is a dead copy's.
                ::unlink(QFile::encodeName(m_socketName).constData());
                break;
            case Answer::Nobody:
                break;
        }
        if (listen() != Bound::Taken) {
            return true;
        }
    }
    return true;
}

}  // namespace mintlux
