#include "persistence/PreferencesFormat.h"
#include "persistence/PreferencesStore.h"
#include "support/EventLoop.h"
#include "support/Printers.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Longer than the store waits for writers to settle: any notification still to come has come.
constexpr auto kQuiet = 300ms;

unsigned mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777U : 0U;
}

int lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Another process setting `count` keys through a store of its own (see PersistenceTestMain.cpp).
void startWriter(QProcess& writer, const QString& path, const QString& key, int count,
                 bool ack = false) {
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QCoreApplication::applicationFilePath(),
                 {u"--write"_s, path, key, QString::number(count), ack ? u"ack"_s : u"each"_s});
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
        {R"("a")", true},
        // Values the store cannot use cost only their own key.
        {R"({"a": [1]})", false},
        {R"({"a": {"base64": "not base64!"}})", false},
        {R"({"a": null, "a": 2})", false},
        {R"({"a": 1e999})", false},
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
            const QString kept = QFileInfo(m_path).dir().filePath(setAside().first());
            EXPECT_NE(err.find(kept.toStdString()), std::string::npos);
            EXPECT_EQ(contents(kept), bytes);
            QFile::remove(kept);
        }
    }
}

TEST_F(PreferencesStoreTest, UnusableValuesReadAsNotSetAndAreWrittenBackAsTyped) {
    const QByteArray odd[] = {R"("mintlux.primaryMetal": ["XAG"])",
                              R"("a": {"base64": "!", "x": [ 1e999 ]})",
                              R"("a": "first")",
                              R"("b": -1e999)",
                              R"("c": null)",
                              R"("c": {})"};
    editFile("{" + odd[0] + ", \"mintlux.displayCurrency\": \"EUR\", " + odd[1] + ",\n" + odd[2] +
             ",\n" + odd[3] + ", " + odd[4] + ", " + odd[5] + ", \"d\": {\"base64\": \"AQ==\"}}");
    auto store = open();
    EXPECT_EQ(store->string(u"mintlux.displayCurrency"_s), u"EUR"_s);
    EXPECT_EQ(store->data(u"d"_s), QByteArray("\x01"));
    for (const QString& key : {u"mintlux.primaryMetal"_s, u"a"_s, u"b"_s, u"c"_s}) {
        EXPECT_FALSE(store->object(key)) << key.toStdString();
    }
    store->set(1, u"e"_s);
    const QByteArray saved = contents(m_path);
    for (const QByteArray& member : odd) {
        EXPECT_TRUE(saved.contains(member)) << member.toStdString() << "\n" << saved.toStdString();
    }
    EXPECT_EQ(open()->string(u"mintlux.displayCurrency"_s), u"EUR"_s);
    EXPECT_TRUE(setAside().isEmpty());
}

TEST_F(PreferencesStoreTest, TheFileIsTheUsersAloneAcrossRewritesAndOnlyNewDirectoriesAreChanged) {
    const mode_t umaskWas = ::umask(022);
    const QString shared = m_dir.filePath(u"shared"_s);
    ASSERT_TRUE(QDir().mkdir(shared));
    ::chmod(QFile::encodeName(shared).constData(), 0755);
    const QString path = shared + u"/a/b/preferences.json"_s;
    for (int i = 0; i < 2; ++i) {
        PreferencesStore(path).set(i, u"a"_s);
        EXPECT_EQ(mode(path), 0600U);
    }
    EXPECT_EQ(mode(shared), 0755U);
    EXPECT_EQ(mode(shared + u"/a"_s), 0700U);
    EXPECT_EQ(mode(shared + u"/a/b"_s), 0700U);
    ::umask(umaskWas);
}

TEST_F(PreferencesStoreTest, ObserversAreCalledOncePerWriteOrHandEditAndABrokenEditIsSetAside) {
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
    test::settle(kQuiet);
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(removed, 0);

    // Hand edits are changes too, however the editor saves.
    for (const bool inPlace : {true, false}) {
        editFile(u"{\"a\": %1}"_s.arg(counted + 1).toUtf8(), inPlace);
        ASSERT_TRUE(test::waitUntil([&] { return counted == (inPlace ? 3 : 4); }));
    }
    EXPECT_EQ(store->object(u"a"_s), PreferenceValue(4));

    // Maybe an editor's save in progress: ignored, and left alone until the store must write.
    editFile(R"({"a": 5,)");
    test::settle(kQuiet);
    EXPECT_EQ(counted, 4);
    testing::internal::CaptureStderr();
    store->set(5, u"b"_s);
    EXPECT_EQ(lines(testing::internal::GetCapturedStderr()), 1);
    EXPECT_EQ(setAside().size(), 1);
    EXPECT_EQ(open()->object(u"a"_s), PreferenceValue(4));
}

TEST_F(PreferencesStoreTest, ConcurrentProcessesLoseNoWrite) {
    constexpr int kKeys = 40;
    QProcess writers[2];
    for (int w = 0; w < 2; ++w) {
        startWriter(writers[w], m_path, u"w%1."_s.arg(w), kKeys);
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

// Killed at any moment, a writer leaves a whole file holding every write it acknowledged and at
// most the one in flight; the next start removes the temporary file a save may leave.
TEST_F(PreferencesStoreTest, SigkilledWriterLeavesAPrefixOfItsAcknowledgedWrites) {
    constexpr int kWrites = 1000;
    std::mt19937 random(static_cast<unsigned>(testing::UnitTest::GetInstance()->random_seed()));
    std::uniform_int_distribution<int> killAfterUs(0, 20'000);
    // A kill leaves the page cache alone, so memory-backed files show the same states while
    // sparing the disk a thousand flushes.
    const QTemporaryDir shm(u"/dev/shm/mintlux-XXXXXX"_s);
    const QString path = shm.isValid() ? shm.filePath(u"preferences.json"_s) : m_path;
    // As a kill between creating a save's file and renaming it leaves one (rare on tmpfs).
    QFile(path + u".Ab12Cd"_s).open(QIODevice::WriteOnly);
    int held = 0;
    int rounds = 0;
    while (held < kWrites) {
        ++rounds;
        QProcess writer;
        startWriter(writer, path, u"w"_s, kWrites, true);
        // Timed from the first write, since starting takes longer than a round's writes.
        ASSERT_TRUE(writer.waitForReadyRead(10'000));
        std::this_thread::sleep_for(std::chrono::microseconds(killAfterUs(random)));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished());
        const QList<QByteArray> acks = writer.readAllStandardOutput().trimmed().split('\n');
        const int acknowledged = acks.back().isEmpty() ? held : acks.back().toInt() + 1;

        const PreferenceMap values = PreferencesFormat::decode(contents(path));
        const auto last = values.find(u"w"_s);
        // Writes 0, 1, ... to one key: the value tells how many of them the file holds.
        const int count = last == values.end() ? 0 : static_cast<int>(*last->second.integer()) + 1;
        ASSERT_EQ(values.size(), count ? 1U : 0U);
        ASSERT_GE(count, acknowledged) << "round " << rounds;
        ASSERT_LE(count, acknowledged + 1) << "round " << rounds;
        held = count;
    }
    const PreferencesStore restarted(path);
    EXPECT_TRUE(QFileInfo(path).dir().entryList({u"preferences.json.??????"_s}).isEmpty());
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
            try {
                const auto values = PreferencesFormat::decode(contents(m_path));
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
