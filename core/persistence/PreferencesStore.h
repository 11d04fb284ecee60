#pragma once

#include "persistence/PreferenceValue.h"
#include "persistence/PreferencesFormat.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QPointer>
#include <QString>

class QFileSystemWatcher;
class QObject;
class QTimer;

namespace mintlux {

// The user's preferences: typed values under string keys, kept in one JSON file.
//
// Reads come from memory and may happen on any thread. A write is visible to the next read at
// once and is normally on disk when set() returns: the file is replaced whole (temporary file,
// flush, rename), so a crash leaves the old or the new file and never a torn one. Before writing,
// the store re-reads the file under a lock file and writes its own changes over what it finds,
// so a change another process made in between is kept. While another process holds the lock,
// or the disk refuses the file, changes wait in memory for the next save; the destructor makes
// a last one.
//
// Observers are called on the application's main thread, once per write, after the write has
// returned. A change made to the file by anyone else (another process, a text editor) is picked
// up and raises the same notification.
class PreferencesStore {
public:
    class ObserverToken {
    public:
        ObserverToken() = default;
        bool isValid() const noexcept { return m_id != 0; }
        friend bool operator==(ObserverToken, ObserverToken) = default;

    private:
        friend class PreferencesStore;
        explicit ObserverToken(std::uint64_t id) : m_id(id) {}
        std::uint64_t m_id = 0;
    };

    // $XDG_CONFIG_HOME/mintlux/preferences.json, ~/.config when the variable is unset or not
    // an absolute path.
    static QString defaultFilePath();

    // A file that cannot be read or is not a JSON object is renamed to
    // "<file>.corrupt-<UTC time>" with one line on stderr, and the store starts empty. A value
    // it cannot use costs only its own key.
    explicit PreferencesStore(QString filePath = defaultFilePath());
    ~PreferencesStore();
    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    const QString& filePath() const noexcept { return m_filePath; }

    // Text only: a key holding another kind reads as absent.
    std::optional<QString> string(const QString& key) const;
    // Never an UnusableJson: such a key reads as not set.
    std::optional<PreferenceValue> object(const QString& key) const;
    // Byte data only.
    std::optional<QByteArray> data(const QString& key) const;

    void set(const PreferenceValue& value, const QString& key);
    void remove(const QString& key);

    ObserverToken addObserver(std::function<void()> observer);
    // Calls stop for good when `context` is destroyed.
    ObserverToken addObserver(const QObject* context, std::function<void()> observer);
    void removeObserver(ObserverToken token);

private:
    struct Observer {
        QPointer<const QObject> context;
        bool hasContext = false;
        std::function<void()> call;
    };
    using Pending = std::map<QString, std::optional<PreferenceValue>>;

    enum class SaveAttempt { now, last };

    void write(const QString& key, std::optional<PreferenceValue> value);
    // True when what the file held changed the values in memory. Called with m_writeMutex held.
    bool save(SaveAttempt attempt);
    void retrySave();
    void reportSaveFailure(const QString& problem);
    void reloadFromDisk();
    void watch();
    void postNotification();
    void notifyObservers();
    PreferenceMap withPending(PreferenceMap values) const;

    QString m_filePath;

    mutable std::mutex m_valuesMutex;
    PreferenceMap m_values;

    // Held across a whole save or reload; also guards m_pending and m_saveFailureReported.
    std::mutex m_writeMutex;
    // Changes made here that the file does not have yet (a failed save keeps them for the next
    // one). A reload keeps them on top of what it reads.
    Pending m_pending;
    bool m_saveFailureReported = false;

    std::mutex m_observersMutex;
    std::map<std::uint64_t, Observer> m_observers;
    std::uint64_t m_nextObserverId = 1;

    // Lives on the main thread: receives the queued notifications and owns the watcher. Reset
    // first on destruction, which drops notifications still queued.
    std::unique_ptr<QObject> m_context;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_reloadTimer = nullptr;
    QTimer* m_retryTimer = nullptr;
};

}  // namespace mintlux
