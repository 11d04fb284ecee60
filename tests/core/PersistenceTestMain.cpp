#include "persistence/PreferencesStore.h"

#include <cstdio>

#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    // The second process of the multi-process tests: MINTLUX_TEST_WRITER=<file> and
    // MINTLUX_TEST_KEYS=<prefix>:<count> write `count` integer keys, then exit. With
    // MINTLUX_TEST_ACK set, the `count` writes are 0, 1, ... to the one key <prefix>, going on
    // from the value the file holds, and each is printed once set() has returned.
    if (qEnvironmentVariableIsSet("MINTLUX_TEST_WRITER")) {
        const QString keys = qEnvironmentVariable("MINTLUX_TEST_KEYS");
        const QString prefix = keys.section(u':', 0, 0);
        const bool ack = qEnvironmentVariableIsSet("MINTLUX_TEST_ACK");
        mintlux::PreferencesStore store(qEnvironmentVariable("MINTLUX_TEST_WRITER"));
        std::int64_t i = 0;
        if (const auto last = store.object(prefix); ack && last) {
            i = *last->integer() + 1;
        }
        for (; i < keys.section(u':', 1).toInt(); ++i) {
            store.set(i, ack ? prefix : prefix + QString::number(i));
            if (ack) {
                std::printf("%lld\n", static_cast<long long>(i));
                std::fflush(stdout);
            }
        }
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
