#include "persistence/PreferencesStore.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    // The second process of the multi-process tests: MINTLUX_TEST_WRITER=<file> and
    // MINTLUX_TEST_KEYS=<prefix>:<count> write `count` integer keys, then exit.
    if (qEnvironmentVariableIsSet("MINTLUX_TEST_WRITER")) {
        const QString keys = qEnvironmentVariable("MINTLUX_TEST_KEYS");
        mintlux::PreferencesStore store(qEnvironmentVariable("MINTLUX_TEST_WRITER"));
        for (int i = 0; i < keys.section(u':', 1).toInt(); ++i) {
            store.set(i, keys.section(u':', 0, 0) + QString::number(i));
        }
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
