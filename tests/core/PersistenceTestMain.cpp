#include "persistence/PreferencesStore.h"

#include <cstdio>

#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    // The second process of the multi-process tests: `--write <file> <key> <count> each` sets
    // the keys <key>0, <key>1, ... to 0, 1, ...; with `ack` for `each` it sets the one key
    // <key> to 0, 1, ..., going on from the value the file holds, and prints each value once
    // set() has returned.
    if (const QStringList args = app.arguments(); args.size() == 6 && args[1] == u"--write") {
        const QString& key = args[3];
        const bool ack = args[5] == u"ack";
        mintlux::PreferencesStore store(args[2]);
        std::int64_t i = 0;
        if (const auto last = store.object(key); ack && last) {
            i = *last->integer() + 1;
        }
        for (; i < args[4].toInt(); ++i) {
            store.set(i, ack ? key : key + QString::number(i));
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
