#include "EventLoop.h"
#include "SingleInstance.h"

#include <future>

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

}  // namespace

TEST(SingleInstance, ASocketLeftByACrashedCopyIsTakenOver) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("mintlux.socket"));
    {
        QFile stale(name);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance instance(name);
    EXPECT_TRUE(instance.claim());
    EXPECT_FALSE(claimFromAnotherLaunch(name)) << "and it then guards the session";
}

TEST(SingleInstance, TheNameLivesInTheUsersRuntimeDirectory) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    EXPECT_EQ(SingleInstance::defaultSocketName(),
              runtime.filePath(QStringLiteral("mintlux.socket")));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(SingleInstance::defaultSocketName().startsWith(QStringLiteral("mintlux-")));
}
