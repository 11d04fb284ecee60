#pragma once

#include "storage/PricingStore.h"

#include <map>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace mintlux::server {

// The embedded store: one SQLite file in WAL mode. Each write commits on its own (or with its
// transaction), so a killed process loses at most the write it was in the middle of.
class SqliteStore final : public PricingStore {
public:
    // The schema this build writes; older files are migrated step by step on open.
    static constexpr int kSchemaVersion = 3;

    // Creates the file and its directory if needed, then migrates. Throws StoreError.
    explicit SqliteStore(const QString& path);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    QString location() const override { return m_path; }
    int schemaVersion() const override { return m_version; }
    void ping() override;
    void inTransaction(const std::function<void()>& work) override;

    std::optional<QString> metaValue(const QString& key) override;
    void setMetaValue(const QString& key, const QString& value) override;

    void saveLatestQuote(const SpotQuote& quote) override;
    std::vector<SpotQuote> latestQuotes() override;

    void recordQuote(const SpotQuote& quote) override;
    std::vector<SpotQuote> recordedQuotes(MetalSeries metal, Instant since) override;
    void pruneRecordedQuotes(Instant before) override;

    void saveCloses(MetalSeries metal, const QString& source,
                    const std::vector<DailyClose>& closes) override;
    std::vector<DailyClose> closes(MetalSeries metal, const QString& source) override;
    std::vector<QString> closeSources(MetalSeries metal) override;

    void saveFxRates(const FxRates& rates) override;
    std::optional<FxRates> latestFxRates() override;

private:
    class Statement;

    void exec(const char* sql);
    Statement& prepared(const char* sql);
    void migrate();
    [[noreturn]] void fail(const char* what) const;

    QString m_path;
    sqlite3* m_db = nullptr;
    int m_version = 0;
    int m_transactionDepth = 0;
    std::map<const char*, std::unique_ptr<Statement>> m_statements;
};

}  // namespace mintlux::server
