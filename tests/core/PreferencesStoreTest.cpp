#include "persistence/PreferencesFormat.h"
#include "persistence/PreferencesStore.h"
#include "support/Printers.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <thread>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Longer than the store waits for writers to settle: any notification still to come has come.
constexpr auto kQuiet = 300ms;

void spin(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

template <class Predicate>
bool spinUntil(Predicate done) {
    for (const QDeadlineTimer deadline(5s); !done(); spin(5ms)) {
        if (deadline.hasExpired()) {
            return false;
        }
    }
    return true;
}

int lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class PreferencesStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<PreferencesStore> open() const {
        return std::make_unique<PreferencesStore>(m_path);
    }

    // As an editor saves: in place, or a new file renamed over the old one.
    void editFile(const QByteArray& bytes, bool inPlace = true) const {
        QDir().mkpath(QFileInfo(m_path).path());
        if (inPlace) {
            QFile file(m_path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
            return;
        }
        QSaveFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        ASSERT_TRUE(file.commit());
    }

    QStringList setAside() const {
        return QFileInfo(m_path).dir().entryList({u"preferences.json.corrupt-*"_s}, QDir::Files);
    }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(u"mintlux/preferences.json"_s);
};

TEST_F(PreferencesStoreTest, EveryKindReadsBackAsWrittenAlsoAfterRestart) {
    const std::pair<QString, PreferenceValue> values[] = {
        {u"digitsAsText"_s, u"300"_s},
        {u"escapes"_s, QString::fromUtf8("\" \\ \n \x01 \xE2\x82\xB9")},
        {u"smallest"_s, std::numeric_limits<std::int64_t>::min()},
        {u"flag"_s, false},
        {u"data"_s, QByteArray("\0\xFF{\"quantity\":2.5}", 18)},
        {u"fraction"_s, *Decimal::parse("30.5")},
    };
    auto store = open();
    for (const auto& [key, value] : values) {
        store->set(value, key);
    }
    auto restarted = open();
    for (const PreferencesStore* s : {store.get(), restarted.get()}) {
        for (const auto& [key, value] : values) {
            EXPECT_EQ(s->object(key), value) << key.toStdString();
            EXPECT_EQ(s->string(key).has_value(), value.kind() == PreferenceValue::Kind::text);
            EXPECT_EQ(s->data(key).has_value(), value.kind() == PreferenceValue::Kind::data);
        }
    }
    store->remove(u"flag"_s);
    EXPECT_FALSE(open()->object(u"flag"_s));
}

TEST_F(PreferencesStoreTest, UnreadableFileIsKeptAsideAndTheStoreStartsEmpty) {
    const std::pair<QByteArray, bool> cases[] = {
        {R"({"a": 1)", true},
        {R"([{"a": 1}])", true},
        {R"({"a": [1]})", true},
        {R"({"a": {"base64": "not base64!"}})", true},
        {R"({"a": null, "a": 2})", true},
        {"\xEF\xBB\xBF \n", false},
    };
    for (const auto& [bytes, corrupt] : cases) {
        SCOPED_TRACE(bytes.toStdString());
        editFile(bytes);
        testing::internal::CaptureStderr();
        auto store = open();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(store->object(u"a"_s));
        ASSERT_EQ(setAside().size(), corrupt ? 1 : 0);
        EXPECT_EQ(lines(err), corrupt ? 1 : 0);
        if (corrupt) {
            QFile kept(QFileInfo(m_path).dir().filePath(setAside().first()));
            EXPECT_NE(err.find(kept.fileName().toStdString()), std::string::npos);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), bytes);
            kept.remove();
        }
    }
}

TEST_F(PreferencesStoreTest, ObserversAreCalledOncePerWriteAfterItReturns) {
    auto store = open();
    int counted = 0;
    int removed = 0;
    PreferencesStore::ObserverToken victim;
    store->addObserver([&] {
        ++counted;
        store->removeObserver(victim);
    });
    victim = store->addObserver([&] { ++removed; });
    auto context = std::make_unique<QObject>();
    store->addObserver(context.get(), [&] { ++removed; });

    store->set(1, u"a"_s);
    context.reset();
    store->set(1, u"a"_s);
    EXPECT_EQ(counted, 0);
    // The store's own saves reach its file watch too; they must not count as more changes.
    spin(kQuiet);
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(removed, 0);
}

TEST_F(PreferencesStoreTest, HandEditIsPickedUpAndABrokenOneSetAsideByTheNextWrite) {
    auto store = open();
    store->set(1, u"a"_s);
    spin(kQuiet);
    int calls = 0;
    store->addObserver([&] { ++calls; });
    for (const bool inPlace : {true, false}) {
        editFile(u"{\"a\": %1}"_s.arg(calls + 2).toUtf8(), inPlace);
        ASSERT_TRUE(spinUntil([&] { return calls == (inPlace ? 1 : 2); }));
    }
    EXPECT_EQ(store->object(u"a"_s), PreferenceValue(3));

    // Maybe an editor's save in progress: ignored, and left alone until the store must write.
    editFile(R"({"a": 4,)");
    spin(kQuiet);
    EXPECT_EQ(calls, 2);
    testing::internal::CaptureStderr();
    store->set(5, u"b"_s);
    EXPECT_EQ(lines(testing::internal::GetCapturedStderr()), 1);
    EXPECT_EQ(setAside().size(), 1);
    EXPECT_EQ(open()->object(u"a"_s), PreferenceValue(3));
}

TEST_F(PreferencesStoreTest, ConcurrentProcessesLoseNoWrite) {
    constexpr int kKeys = 40;
    QProcess writers[2];
    for (int w = 0; w < 2; ++w) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"MINTLUX_TEST_WRITER"_s, m_path);
        env.insert(u"MINTLUX_TEST_KEYS"_s, u"w%1.:%2"_s.arg(w).arg(kKeys));
        writers[w].setProcessEnvironment(env);
        writers[w].setProcessChannelMode(QProcess::ForwardedChannels);
        writers[w].start(QCoreApplication::applicationFilePath(), {});
    }
    for (QProcess& writer : writers) {
        ASSERT_TRUE(writer.waitForFinished(60'000));
        EXPECT_EQ(writer.exitCode(), 0);
    }
    auto store = open();
    for (int i = 0; i < 2 * kKeys; ++i) {
        EXPECT_EQ(store->object(u"w%1.%2"_s.arg(i % 2).arg(i / 2)), PreferenceValue(i / 2));
    }
}

// Whenever a reader (or a crash) looks, there is a whole file: the old one or the new one.
TEST_F(PreferencesStoreTest, ReaderNeverSeesAPartialFile) {
    constexpr qsizetype kSize = 64 * 1024;
    auto store = open();
    store->set(QByteArray(kSize, 'a'), u"payload"_s);
    std::atomic<bool> stop = false;
    std::atomic<int> reads = 0;
    std::atomic<int> bad = 0;
    std::thread reader([&] {
        for (; !stop; ++reads) {
            QFile file(m_path);
            try {
                file.open(QIODevice::ReadOnly);
                const auto values = PreferencesFormat::decode(file.readAll());
                const auto it = values.find(u"payload"_s);
                bad += it == values.end() || it->second.data()->size() != kSize;
            } catch (const DecodingError&) {
                ++bad;
            }
        }
    });
    for (int i = 1; i <= 100; ++i) {
        store->set(QByteArray(kSize, static_cast<char>('a' + i % 26)), u"payload"_s);
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(bad, 0);
}

TEST_F(PreferencesStoreTest, FailedSaveKeepsTheChangesForTheNextOne) {
    // A plain file where the directory should be makes every save fail, also for root.
    const QString blocker = m_dir.filePath(u"blocked"_s);
    QFile(blocker).open(QIODevice::WriteOnly);
    testing::internal::CaptureStderr();
    PreferencesStore store(blocker + u"/preferences.json"_s);
    store.set(1, u"a"_s);
    store.set(2, u"b"_s);
    EXPECT_EQ(lines(testing::internal::GetCapturedStderr()), 1);
    EXPECT_EQ(store.object(u"a"_s), PreferenceValue(1));

    ASSERT_TRUE(QFile::remove(blocker));
    store.set(3, u"c"_s);
    PreferencesStore restarted(blocker + u"/preferences.json"_s);
    EXPECT_EQ(restarted.object(u"a"_s), PreferenceValue(1));
    EXPECT_EQ(restarted.object(u"c"_s), PreferenceValue(3));
}

}  // namespace
