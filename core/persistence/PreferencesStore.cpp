#include "persistence/PreferencesStore.h"

#include "json/DecodingError.h"
#include "persistence/PrivateFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace mintlux {

namespace {

using namespace std::chrono_literals;

// Another instance holds the lock only for the few milliseconds of its own save. Past this wait a
// save is put off rather than made without the lock (which could drop the other's write).
constexpr auto kLockWait = 1000ms;
constexpr auto kLockPoll = 2ms;
constexpr auto kRetryDelay = 200ms;
// On the way out there is no later: after this wait the changes are written without the lock.
constexpr auto kLastLockWait = 5000ms;
// Editors and other writers touch the file and its directory several times per save; one
// re-read after they settle is enough.
constexpr auto kReloadDelay = 50ms;

struct DiskState {
    enum class Status { missing, loaded, unreadable };
    Status status = Status::missing;
    PreferenceMap values;
    QString problem;
};

DiskState readFile(const QString& path) {
    QFile file(path);
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return {DiskState::Status::unreadable, {}, file.errorString()};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return {DiskState::Status::unreadable, {}, file.errorString()};
    }
    try {
        return {DiskState::Status::loaded, PreferencesFormat::decode(bytes), {}};
    } catch (const DecodingError& error) {
        return {DiskState::Status::unreadable, {}, QString::fromUtf8(error.what())};
    }
}

// The writers' lock: flock(2) on "<file>.lock", held until destruction. The kernel drops it
// however its holder dies, so a writer killed mid-save cannot leave it taken. (A QLockFile killed
// between creating its file and writing its owner into it is taken for live for 30 s.)
class WriteLock {
public:
    explicit WriteLock(const QString& filePath)
        : m_fd(::open(QFile::encodeName(filePath + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
    ~WriteLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    // False only when someone else held the lock for the whole wait. It is polled rather than
    // waited for, so that the wait can end.
    bool lockOrGiveUp(std::chrono::milliseconds wait) {
        const QDeadlineTimer deadline(wait);
        // No lock can be made here (unwritable directory): the save finds and reports that.
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return true;
            }
            if (deadline.hasExpired()) {
                return false;
            }
            std::this_thread::sleep_for(kLockPoll);
        }
        return true;
    }

private:
    int m_fd;
};

void printLine(const QString& line) {
    std::fputs(qUtf8Printable(line + QLatin1Char('\n')), stderr);
}

// Renames a file the store cannot use so that whatever the user had in it survives. No value
// when the file stays where it is.
std::optional<QString> setAside(const QString& path) {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n) {
        target = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (!QFile::rename(path, target)) {
        return std::nullopt;
    }
    return target;
}

// A save killed between creating its temporary file and renaming it leaves the file behind.
// Saves happen under the lock, so while it is ours no one is writing one.
void removeLeftoverTempFiles(const QString& path) {
    WriteLock lock(path);
    if (!lock.lockOrGiveUp(kLockWait)) {
        return;  // a later start cleans up
    }
    const QFileInfo info(path);
    const QString prefix = info.fileName() + QLatin1Char('.');
    // QSaveFile's names: the file's own name, a dot and six letters or digits. Plain string
    // tests: a wildcard filter or a regular expression would load PCRE2 into every start.
    const auto isTempName = [&prefix](const QString& name) {
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix)) {
            return false;
        }
        return std::all_of(name.cbegin() + prefix.size(), name.cend(), [](QChar c) {
            return c.unicode() < 128 && std::isalnum(static_cast<unsigned char>(c.unicode()));
        });
    };
    const QDir dir = info.dir();
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted)) {
        if (isTempName(name)) {
            QFile::remove(dir.filePath(name));
        }
    }
}

void reportSetAside(const QString& path, const QString& problem, const QString& target) {
    printLine(QStringLiteral("Mintlux: preferences file %1 is unreadable (%2); kept it as %3")
                  .arg(path, problem, target));
}

}  // namespace

QString PreferencesStore::defaultFilePath() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // The base directory specification says to ignore a relative XDG_CONFIG_HOME; following it
    // would put the file wherever the app happened to be started.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/mintlux/preferences.json");
}

PreferencesStore::PreferencesStore(QString filePath)
    : m_filePath(QDir::cleanPath(QFileInfo(filePath).absoluteFilePath())),
      m_context(std::make_unique<QObject>()) {
    // The directory must exist to be watched, and a file that appears in it later is news.
    PrivateFiles::makeDirectories(QFileInfo(m_filePath).absolutePath());
    removeLeftoverTempFiles(m_filePath);

    DiskState disk = readFile(m_filePath);
    if (disk.status == DiskState::Status::unreadable) {
        if (const auto target = setAside(m_filePath)) {
            reportSetAside(m_filePath, disk.problem, *target);
        } else {
            // The next save tries again before it writes anything.
            printLine(QStringLiteral("Mintlux: preferences file %1 is unreadable (%2) and could "
                                     "not be moved aside")
                          .arg(m_filePath, disk.problem));
        }
    }
    m_values = std::move(disk.values);

    m_watcher = new QFileSystemWatcher(m_context.get());
    m_reloadTimer = new QTimer(m_context.get());
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(kReloadDelay);
    // Both are needed: an in-place edit changes only the file, while an atomic save replaces
    // the file's inode, which only the directory sees.
    QObject::connect(m_watcher, &QFileSystemWatcher::fileChanged, m_reloadTimer,
                     qOverload<>(&QTimer::start));
    QObject::connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_reloadTimer,
                     qOverload<>(&QTimer::start));
    QObject::connect(m_reloadTimer, &QTimer::timeout, m_context.get(),
                     [this] { reloadFromDisk(); });
    m_retryTimer = new QTimer(m_context.get());
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kRetryDelay);
    QObject::connect(m_retryTimer, &QTimer::timeout, m_context.get(), [this] { retrySave(); });
    watch();

    if (const auto* app = QCoreApplication::instance();
        app && app->thread() != m_context->thread()) {
        m_context->moveToThread(app->thread());
    }
}

PreferencesStore::~PreferencesStore() {
    {
        std::lock_guard lock(m_writeMutex);
        if (!m_pending.empty()) {
            save(SaveAttempt::last);
        }
    }
    m_context.reset();
}

std::optional<QString> PreferencesStore::string(const QString& key) const {
    const auto value = object(key);
    return value ? value->text() : std::nullopt;
}

std::optional<PreferenceValue> PreferencesStore::object(const QString& key) const {
    std::lock_guard lock(m_valuesMutex);
    const auto it = m_values.find(key);
    if (it == m_values.end() || it->second.unusable()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<QByteArray> PreferencesStore::data(const QString& key) const {
    const auto value = object(key);
    return value ? value->data() : std::nullopt;
}

void PreferencesStore::set(const PreferenceValue& value, const QString& key) {
    write(key, value);
}

void PreferencesStore::remove(const QString& key) {
    write(key, std::nullopt);
}

void PreferencesStore::write(const QString& key, std::optional<PreferenceValue> value) {
    {
        std::lock_guard lock(m_writeMutex);
        {
            std::lock_guard values(m_valuesMutex);
            if (value) {
                m_values.insert_or_assign(key, *value);
            } else {
                m_values.erase(key);
            }
        }
        m_pending.insert_or_assign(key, std::move(value));
        save(SaveAttempt::now);
    }
    postNotification();
}

void PreferencesStore::retrySave() {
    bool changed = false;
    {
        std::lock_guard lock(m_writeMutex);
        if (!m_pending.empty()) {
            changed = save(SaveAttempt::now);
        }
    }
    // The write that made these changes has notified already; only news from the file is new.
    if (changed) {
        postNotification();
    }
}

bool PreferencesStore::save(SaveAttempt attempt) {
    // Someone may have removed the directory since start-up; then the save recreates it.
    PrivateFiles::makeDirectories(QFileInfo(m_filePath).absolutePath());
    WriteLock lock(m_filePath);
    if (!lock.lockOrGiveUp(attempt == SaveAttempt::last ? kLastLockWait : kLockWait) &&
        attempt == SaveAttempt::now) {
        // The changes are in memory and stay pending; the main thread tries again shortly.
        QMetaObject::invokeMethod(
            m_context.get(), [this] { m_retryTimer->start(); }, Qt::QueuedConnection);
        return false;
    }

    DiskState disk = readFile(m_filePath);
    if (disk.status == DiskState::Status::unreadable) {
        const auto target = setAside(m_filePath);
        if (!target) {
            // Saving now would destroy the only copy of what the file held; the changes stay
            // pending for the next write.
            reportSaveFailure(QStringLiteral("the file there is unreadable (%1) and could not be "
                                             "moved aside")
                                  .arg(disk.problem));
            return false;
        }
        reportSetAside(m_filePath, disk.problem, *target);
        // What was on disk is lost to us, so the last good state is what memory holds.
        std::lock_guard values(m_valuesMutex);
        disk.values = m_values;
    }
    PreferenceMap merged = withPending(std::move(disk.values));

    const QByteArray bytes = PreferencesFormat::encode(merged);
    QSaveFile file(m_filePath);
    // QSaveFile gives a replacement the old file's mode, and a first file the umask's.
    const bool fresh = !QFileInfo::exists(m_filePath);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       (!fresh || file.setPermissions(PrivateFiles::kFileMode)) &&
                       file.write(bytes) == bytes.size() && file.commit();
    bool changed = false;
    {
        std::lock_guard values(m_valuesMutex);
        changed = merged != m_values;
        m_values = std::move(merged);
    }
    if (saved) {
        m_pending.clear();
        m_saveFailureReported = false;
    } else {
        reportSaveFailure(file.errorString());
    }
    return changed;
}

void PreferencesStore::reportSaveFailure(const QString& problem) {
    // Once per run of failures: every later write would only repeat it.
    if (m_saveFailureReported) {
        return;
    }
    printLine(QStringLiteral("Mintlux: cannot save preferences to %1 (%2); changes are kept in "
                             "memory and saved with the next change")
                  .arg(m_filePath, problem));
    m_saveFailureReported = true;
}

void PreferencesStore::reloadFromDisk() {
    bool changed = false;
    {
        std::lock_guard lock(m_writeMutex);
        DiskState disk = readFile(m_filePath);
        // A file that does not parse may be an editor's save in progress: keep what we have
        // and leave the file alone; the next write sets it aside if it is still bad then.
        if (disk.status != DiskState::Status::unreadable) {
            PreferenceMap merged = withPending(std::move(disk.values));
            std::lock_guard values(m_valuesMutex);
            if (merged != m_values) {
                m_values = std::move(merged);
                changed = true;
            }
        }
    }
    watch();
    if (changed) {
        postNotification();
    }
}

void PreferencesStore::watch() {
    const QString directory = QFileInfo(m_filePath).absolutePath();
    if (!m_watcher->directories().contains(directory) && QFileInfo::exists(directory)) {
        m_watcher->addPath(directory);
    }
    // A replaced file drops out of the watch list with its old inode.
    if (!m_watcher->files().contains(m_filePath) && QFileInfo::exists(m_filePath)) {
        m_watcher->addPath(m_filePath);
    }
}

PreferenceMap PreferencesStore::withPending(PreferenceMap values) const {
    for (const auto& [key, value] : m_pending) {
        if (value) {
            values.insert_or_assign(key, *value);
        } else {
            values.erase(key);
        }
    }
    return values;
}

void PreferencesStore::postNotification() {
    QMetaObject::invokeMethod(
        m_context.get(), [this] { notifyObservers(); }, Qt::QueuedConnection);
}

void PreferencesStore::notifyObservers() {
    std::vector<std::uint64_t> ids;
    {
        std::lock_guard lock(m_observersMutex);
        ids.reserve(m_observers.size());
        for (const auto& entry : m_observers) {
            ids.push_back(entry.first);
        }
    }
    // Looked up one by one, so an observer removed by an earlier one in this round is not
    // called, and an observer may add or remove others without invalidating anything here.
    for (const std::uint64_t id : ids) {
        std::function<void()> call;
        {
            std::lock_guard lock(m_observersMutex);
            const auto it = m_observers.find(id);
            if (it == m_observers.end()) {
                continue;
            }
            if (it->second.hasContext && !it->second.context) {
                m_observers.erase(it);
                continue;
            }
            call = it->second.call;
        }
        call();
    }
}

PreferencesStore::ObserverToken PreferencesStore::addObserver(std::function<void()> observer) {
    std::lock_guard lock(m_observersMutex);
    const std::uint64_t id = m_nextObserverId++;
    m_observers.emplace(id, Observer{{}, false, std::move(observer)});
    return ObserverToken(id);
}

PreferencesStore::ObserverToken PreferencesStore::addObserver(const QObject* context,
                                                              std::function<void()> observer) {
    std::lock_guard lock(m_observersMutex);
    const std::uint64_t id = m_nextObserverId++;
    m_observers.emplace(id, Observer{context, true, std::move(observer)});
    return ObserverToken(id);
}

void PreferencesStore::removeObserver(ObserverToken token) {
    std::lock_guard lock(m_observersMutex);
    m_observers.erase(token.m_id);
}

}  // namespace mintlux
