#include "EventLoop.h"
#include "SingleInstance.h"

#include <cerrno>
#include <cstring>
#include <future>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

// A second launch blocks while it asks, so it runs on a thread of its own while this one's
// event loop lets the first copy answer.
bool claimFromAnotherLaunch(const QString& name) {
    auto result = std::async(std::launch::async, [name] { return SingleInstance(name).claim(); });
    test::waitUntil(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        std::chrono::seconds(20));
    return result.get();
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), static_cast<std::size_t>(encoded.size()));
    return address;
}

// A socket bound at `path` by the test: a dead copy's once closed, a hung copy's while it
// listens and never accepts.
int bindAt(const QString& path, bool listening) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    if (listening) {
        EXPECT_EQ(::listen(fd, 4), 0);
    }
    return fd;
}

std::optional<ino_t> inodeAt(const QString& path) {
    struct stat file {};
    if (::lstat(QFile::encodeName(path).constData(), &file) != 0) {
        return std::nullopt;
    }
    return file.st_ino;
}

// A program talking to the running copy directly, as a broken or hostile one would.
class Peer {
public:
    explicit Peer(const QString& path)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        const sockaddr_un address = addressOf(path);
        m_connected =
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Peer() { ::close(m_fd); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool connected() const { return m_connected; }
    void say(const QByteArray& bytes) {
        ::send(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
        test::settle();
    }
    // What the copy said before it hung up; nothing when it kept the line open.
    std::optional<QByteArray> answerUntilHangUp() {
        QByteArray answer;
        const bool hungUp = test::waitUntil([&] {
            char buffer[256];
            for (;;) {
                const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    return got == 0 || errno != EAGAIN;
                }
                answer.append(buffer, got);
            }
        });
        return hungUp ? std::optional(answer) : std::nullopt;
    }

private:
    int m_fd;
    bool m_connected = false;
};

}  // namespace

TEST(SingleInstance, TakesTheNameNobodyAnswersOnAndGuardsItThen) {
    enum class Left { Nothing, File, DeadCopysSocket };
    for (const Left left : {Left::Nothing, Left::File, Left::DeadCopysSocket}) {
        SCOPED_TRACE(static_cast<int>(left));
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("mintlux.socket"));
        if (left == Left::File) {
            QFile stale(name);
            ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        } else if (left == Left::DeadCopysSocket) {
            ::close(bindAt(name, false));
        }
        SingleInstance instance(name);
        int shown = 0;
        instance.setShowRequestHandler([&] { ++shown; });
        ASSERT_TRUE(instance.claim());

        struct stat file {};
        ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &file), 0);
        EXPECT_EQ(file.st_mode & 0777, 0600u) << "only its user may connect";
        EXPECT_EQ(
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("mintlux.socket")});

        EXPECT_FALSE(claimFromAnotherLaunch(name));
        EXPECT_EQ(shown, 1);
    }
}

TEST(SingleInstance, OnlyAShowRequestIsAnsweredAndHeeded) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("mintlux.socket"));
    SingleInstance instance(name);
    int shown = 0;
    instance.setShowRequestHandler([&] { ++shown; });
    ASSERT_TRUE(instance.claim());

    const struct {
        const char* what;
        std::vector<QByteArray> pieces;
        QByteArray answer;
        int shown;
    } cases[] = {
        {"the request, as earlier builds send it", {"show\n"}, "ok\n", 1},
        {"the request in pieces", {"sh", "ow", "\n"}, "ok\n", 1},
        {"another line", {"quit\n"}, "", 0},
        {"the request with more on its line", {"show please\n"}, "", 0},
        {"a line longer than any request", {QByteArray(100, 's'), "\n"}, "", 0},
        {"a flood", {QByteArray(1 << 20, 's')}, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shown = 0;
        Peer peer(name);
        ASSERT_TRUE(peer.connected());
        for (const QByteArray& piece : c.pieces) {
            peer.say(piece);
        }
        EXPECT_EQ(peer.answerUntilHangUp(), std::optional(c.answer));
        EXPECT_EQ(shown, c.shown);
    }
}

TEST(SingleInstance, ASilentClientNeitherHoldsUpALaterLaunchNorKeepsItsLine) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("mintlux.socket"));
    SingleInstance instance(name);
    int shown = 0;
    instance.setShowRequestHandler([&] { ++shown; });
    ASSERT_TRUE(instance.claim());

    Peer silent(name);
    ASSERT_TRUE(silent.connected());
    EXPECT_FALSE(claimFromAnotherLaunch(name));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(silent.answerUntilHangUp(), std::optional(QByteArray()));
}

TEST(SingleInstance, ACopyThatDoesNotAnswerKeepsItsSocket) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("mintlux.socket"));
    const int hung = bindAt(name, true);
    const std::optional<ino_t> before = inodeAt(name);
    {
        SingleInstance instance(name);
        EXPECT_TRUE(instance.claim()) << "running unguarded beats not running";
    }
    EXPECT_EQ(inodeAt(name), before);
    ::close(hung);
}

TEST(SingleInstance, OnClosingItRemovesTheSocketOnlyWhileItIsItsOwn) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("mintlux.socket"));
    {
        SingleInstance instance(name);
        ASSERT_TRUE(instance.claim());
    }
    EXPECT_EQ(inodeAt(name), std::nullopt);
    {
        SingleInstance instance(name);
        ASSERT_TRUE(instance.claim());
        // A later copy's, after the directory was cleaned under this one.
        ASSERT_TRUE(QFile::remove(name));
        ::close(bindAt(name, false));
    }
    EXPECT_NE(inodeAt(name), std::nullopt);
}

TEST(SingleInstance, TheNameLivesInTheUsersRuntimeDirectory) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    // Where earlier builds listened without a runtime directory.
    const QString fallback =
        QDir(QDir::tempPath()).filePath(QStringLiteral("mintlux-%1").arg(::getuid()));
    const struct {
        QByteArray runtimeDir;
        QString name;
    } cases[] = {
        {runtime.path().toUtf8(), runtime.filePath(QStringLiteral("mintlux.socket"))},
        {"", fallback},
        {"relative/run", fallback},
        {runtime.filePath(QStringLiteral("missing")).toUtf8(), fallback},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.runtimeDir.constData());
        if (c.runtimeDir.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", c.runtimeDir);
        }
        EXPECT_EQ(SingleInstance::defaultSocketName(), c.name);
    }
    if (saved.isNull()) {
        qunsetenv("XDG_RUNTIME_DIR");
    } else {
        qputenv("XDG_RUNTIME_DIR", saved);
    }
}
