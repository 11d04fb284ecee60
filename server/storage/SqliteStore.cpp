#include "storage/SqliteStore.h"

#include "persistence/PrivateFiles.h"

#include <array>
#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>

namespace mintlux::server {

namespace {

// Step i takes a file from schema version i to i + 1. Version 1 kept closes without their
// source; version 2 tells recorded from upstream closes and keeps the newest quote per metal
// apart from the 5-minute series; version 3 names the upstream of each close (until then the
// LBMA was the only one).
constexpr std::array<const char*, SqliteStore::kSchemaVersion> kMigrations{
    R"sql(
    CREATE TABLE quotes (metal TEXT NOT NULL, as_of_ns INTEGER NOT NULL, usd_per_oz TEXT NOT NULL,
                         PRIMARY KEY (metal, as_of_ns));
    CREATE TABLE closes (metal TEXT NOT NULL, day TEXT NOT NULL, usd_per_oz TEXT NOT NULL,
                         PRIMARY KEY (metal, day));
    CREATE TABLE fx_rates (day TEXT NOT NULL, currency TEXT NOT NULL, per_usd TEXT NOT NULL,
                           PRIMARY KEY (day, currency));
    )sql",
    R"sql(
    CREATE TABLE daily_closes (metal TEXT NOT NULL, day TEXT NOT NULL, source TEXT NOT NULL,
                               usd_per_oz TEXT NOT NULL, PRIMARY KEY (metal, source, day));
    INSERT INTO daily_closes (metal, day, source, usd_per_oz)
        SELECT metal, day, 'recorded', usd_per_oz FROM closes;
    DROP TABLE closes;
    CREATE TABLE latest_quotes (metal TEXT PRIMARY KEY, as_of_ns INTEGER NOT NULL,
                                usd_per_oz TEXT NOT NULL);
    INSERT INTO latest_quotes (metal, as_of_ns, usd_per_oz)
        SELECT q.metal, q.as_of_ns, q.usd_per_oz FROM quotes q
        WHERE q.as_of_ns = (SELECT MAX(as_of_ns) FROM quotes WHERE metal = q.metal);
    CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
    )sql",
    R"sql(
    UPDATE daily_closes SET source = 'LBMA' WHERE source = 'upstream';
    )sql",
};

std::int64_t toNs(Instant t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

Instant fromNs(std::int64_t ns) {
    return Instant(std::chrono::duration_cast<Instant::duration>(std::chrono::nanoseconds(ns)));
}

}  // namespace

// A prepared statement reused across calls; reset after each use.
class SqliteStore::Statement {
public:
    Statement(const SqliteStore& store, sqlite3* db, const char* sql) : m_store(store) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            m_store.fail("prepare");
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        return check(sqlite3_bind_text(m_stmt, i, utf8.constData(), static_cast<int>(utf8.size()),
                                       SQLITE_TRANSIENT));
    }
    Statement& bind(int i, const std::string& text) {
        return check(sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT));
    }
    Statement& bind(int i, const char* text) {
        return check(sqlite3_bind_text(m_stmt, i, text, -1, SQLITE_STATIC));
    }
    Statement& bind(int i, std::int64_t value) {
        return check(sqlite3_bind_int64(m_stmt, i, value));
    }

    // True while there is a row to read.
    bool step() {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            sqlite3_reset(m_stmt);
            m_store.fail("step");
        }
        return false;
    }
    void run() {
        step();
        reset();
    }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    QString text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, col));
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    Decimal decimal(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        const auto d = Decimal::parse(std::string_view(
            p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col))));
        if (!d) {
            throw StoreError("stored decimal is not a number");
        }
        return *d;
    }
    QDate date(int col) const { return QDate::fromString(text(col), Qt::ISODate); }

private:
    Statement& check(int rc) {
        if (rc != SQLITE_OK) {
            m_store.fail("bind");
        }
        return *this;
    }

    const SqliteStore& m_store;
    sqlite3_stmt* m_stmt = nullptr;
};

SqliteStore::SqliteStore(const QString& path) : m_path(path) {
    const QFileInfo info(path);
    if (!PrivateFiles::makeDirectories(info.absolutePath())) {
        throw StoreError("cannot create directory " + info.absolutePath().toStdString());
    }
    // SQLite would create it 0644, and its journal files take the database's mode.
    if (!PrivateFiles::createFile(path)) {
        throw StoreError("cannot create " + path.toStdString());
    }
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw StoreError("cannot open " + path.toStdString() + ": " + message);
    }
    try {
        sqlite3_busy_timeout(m_db, 5000);
        exec("PRAGMA journal_mode=WAL");
        // In WAL mode NORMAL survives a killed process; only a power loss can undo the last
        // commits, and a lost quote is refetched on the next poll.
        exec("PRAGMA synchronous=NORMAL");
        migrate();
    } catch (...) {
        m_statements.clear();
        sqlite3_close(m_db);
        throw;
    }
}

SqliteStore::~SqliteStore() {
    m_statements.clear();
    sqlite3_close(m_db);
}

void SqliteStore::fail(const char* what) const {
    throw StoreError(std::string("database ") + what + " failed: " + sqlite3_errmsg(m_db));
}

void SqliteStore::exec(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail("statement");
    }
}

SqliteStore::Statement& SqliteStore::prepared(const char* sql) {
    auto& slot = m_statements[sql];
    if (!slot) {
        slot = std::make_unique<Statement>(*this, m_db, sql);
    }
    // A read that threw half-way left its statement mid-step.
    slot->reset();
    return *slot;
}

void SqliteStore::migrate() {
    exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    {
        Statement read(*this, m_db, "SELECT MAX(version) FROM schema_version");
        read.step();
        m_version = static_cast<int>(read.integer(0));
    }
    if (m_version > kSchemaVersion) {
        throw StoreError("database schema version " + std::to_string(m_version) +
                         " is newer than this service understands (" +
                         std::to_string(kSchemaVersion) + ")");
    }
    while (m_version < kSchemaVersion) {
        inTransaction([&] {
            exec(kMigrations[static_cast<std::size_t>(m_version)]);
            exec("DELETE FROM schema_version");
            Statement write(*this, m_db, "INSERT INTO schema_version (version) VALUES (?)");
            write.bind(1, std::int64_t(m_version + 1)).run();
        });
        ++m_version;
    }
}

void SqliteStore::ping() {
    // Without the statement cache: /healthz calls this from a serving thread.
    if (sqlite3_exec(m_db, "SELECT version FROM schema_version", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        fail("ping");
    }
}

void SqliteStore::inTransaction(const std::function<void()>& work) {
    if (m_transactionDepth > 0) {
        work();
        return;
    }
    exec("BEGIN IMMEDIATE");
    ++m_transactionDepth;
    try {
        work();
        exec("COMMIT");
    } catch (...) {
        --m_transactionDepth;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    --m_transactionDepth;
}

std::optional<QString> SqliteStore::metaValue(const QString& key) {
    Statement& s = prepared("SELECT value FROM meta WHERE key = ?");
    s.bind(1, key);
    std::optional<QString> value;
    if (s.step()) {
        value = s.text(0);
    }
    s.reset();
    return value;
}

void SqliteStore::setMetaValue(const QString& key, const QString& value) {
    prepared("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)")
        .bind(1, key)
        .bind(2, value)
        .run();
}

void SqliteStore::saveLatestQuote(const SpotQuote& quote) {
    prepared("INSERT OR REPLACE INTO latest_quotes (metal, as_of_ns, usd_per_oz) VALUES (?, ?, ?)")
        .bind(1, quote.metal.rawValue())
        .bind(2, toNs(quote.asOf))
        .bind(3, quote.usdPerOunce.toString())
        .run();
}

std::vector<SpotQuote> SqliteStore::latestQuotes() {
    Statement& s = prepared("SELECT metal, as_of_ns, usd_per_oz FROM latest_quotes");
    std::vector<SpotQuote> out;
    while (s.step()) {
        if (const auto metal = MetalSeries::fromRawValue(s.text(0))) {
            out.push_back({*metal, s.decimal(2), fromNs(s.integer(1))});
        }
    }
    s.reset();
    return out;
}

void SqliteStore::recordQuote(const SpotQuote& quote) {
    prepared("INSERT OR REPLACE INTO quotes (metal, as_of_ns, usd_per_oz) VALUES (?, ?, ?)")
        .bind(1, quote.metal.rawValue())
        .bind(2, toNs(quote.asOf))
        .bind(3, quote.usdPerOunce.toString())
        .run();
}

std::vector<SpotQuote> SqliteStore::recordedQuotes(MetalSeries metal, Instant since) {
    Statement& s = prepared(
        "SELECT as_of_ns, usd_per_oz FROM quotes WHERE metal = ? AND as_of_ns >= ? "
        "ORDER BY as_of_ns");
    s.bind(1, metal.rawValue()).bind(2, toNs(since));
    std::vector<SpotQuote> out;
    while (s.step()) {
        out.push_back({metal, s.decimal(1), fromNs(s.integer(0))});
    }
    s.reset();
    return out;
}

void SqliteStore::pruneRecordedQuotes(Instant before) {
    prepared("DELETE FROM quotes WHERE as_of_ns < ?").bind(1, toNs(before)).run();
}

void SqliteStore::saveCloses(MetalSeries metal, const QString& source,
                             const std::vector<DailyClose>& closes) {
    inTransaction([&] {
        Statement& s = prepared(
            "INSERT OR REPLACE INTO daily_closes (metal, day, source, usd_per_oz) "
            "VALUES (?, ?, ?, ?)");
        for (const DailyClose& c : closes) {
            s.bind(1, metal.rawValue())
                .bind(2, c.date.toString(Qt::ISODate))
                .bind(3, source)
                .bind(4, c.usdPerOunce.toString())
                .run();
        }
    });
}

std::vector<DailyClose> SqliteStore::closes(MetalSeries metal, const QString& source) {
    Statement& s = prepared(
        "SELECT day, usd_per_oz FROM daily_closes WHERE metal = ? AND source = ? ORDER BY day");
    s.bind(1, metal.rawValue()).bind(2, source);
    std::vector<DailyClose> out;
    while (s.step()) {
        out.push_back({s.date(0), s.decimal(1)});
    }
    s.reset();
    return out;
}

std::vector<QString> SqliteStore::closeSources(MetalSeries metal) {
    Statement& s = prepared("SELECT DISTINCT source FROM daily_closes WHERE metal = ?");
    s.bind(1, metal.rawValue());
    std::vector<QString> out;
    while (s.step()) {
        out.push_back(s.text(0));
    }
    s.reset();
    return out;
}

void SqliteStore::saveFxRates(const FxRates& rates) {
    inTransaction([&] {
        Statement& s =
            prepared("INSERT OR REPLACE INTO fx_rates (day, currency, per_usd) VALUES (?, ?, ?)");
        for (const auto& [currency, rate] : rates.perUsd) {
            s.bind(1, rates.date.toString(Qt::ISODate))
                .bind(2, currency.rawValue())
                .bind(3, rate.toString())
                .run();
        }
    });
}

std::optional<FxRates> SqliteStore::latestFxRates() {
    Statement& s = prepared(
        "SELECT day, currency, per_usd FROM fx_rates WHERE day = (SELECT MAX(day) FROM fx_rates)");
    std::optional<FxRates> out;
    while (s.step()) {
        if (!out) {
            out.emplace();
            out->date = s.date(0);
        }
        if (const auto currency = Currency::fromRawValue(s.text(1))) {
            out->perUsd.emplace(*currency, s.decimal(2));
        }
    }
    s.reset();
    return out;
}

}  // namespace mintlux::server
