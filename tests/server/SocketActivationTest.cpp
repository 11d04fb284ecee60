#include "SocketActivation.h"

#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using server::SocketActivation::listeningSocket;

// Asks in a child process, where fd 3 and the environment are ours to arrange: 0 when fd 3 was
// taken, 1 when nothing was, 3 when the variables were left for children to inherit.
int inChild(bool listening, bool ourPid) {
    const pid_t child = fork();
    if (child == 0) {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        if (listening) {
            listen(s, 1);
        }
        dup2(s, 3);
        setenv("LISTEN_PID", std::to_string(ourPid ? getpid() : getpid() + 1).c_str(), 1);
        setenv("LISTEN_FDS", "1", 1);
        const auto fd = listeningSocket();
        const bool cleared =
            std::getenv("LISTEN_PID") == nullptr && std::getenv("LISTEN_FDS") == nullptr;
        _exit(!cleared ? 3 : fd == 3 ? 0 : fd ? 2 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SocketActivationTest, TakesFdThreeOnlyWhenItIsOursAndListening) {
    EXPECT_EQ(inChild(true, true), 0);
    EXPECT_EQ(inChild(true, false), 1);  // meant for another process
    EXPECT_EQ(inChild(false, true), 1);  // not a listening socket
}

}  // namespace
}  // namespace mintlux
