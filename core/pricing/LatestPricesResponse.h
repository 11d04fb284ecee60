#pragma once

#include "json/Json.h"
#include "market/Decimal.h"
#include "market/Hashing.h"
#include "market/Instant.h"

#include <map>
#include <optional>

#include <QString>

namespace mintlux {

// The latest prices of every metal in one currency, exactly as the back-end sent them: codes
// stay text here, and consumers decide what an unknown code means.
struct LatestPricesResponse {
    struct PriceEntry {
        Decimal value;
        std::optional<Decimal> prevClose;  // "prev_close": absent or null means none
        QString unit;

        friend bool operator==(const PriceEntry&, const PriceEntry&) = default;
        friend std::size_t qHash(const PriceEntry& e, std::size_t seed = 0) noexcept {
            return qHashMulti(seed, e.value, e.prevClose, e.unit);
        }
        // Keys written in the order "value", "unit", "prev_close" (left out when absent).
        void writeJson(JsonWriter& w) const;
        static PriceEntry readJson(JsonValue& v);
    };

    QString currency;
    Instant asOf;  // "as_of"
    bool stale = false;
    std::map<QString, PriceEntry> prices;  // keyed by metal code; may be empty

    friend bool operator==(const LatestPricesResponse&, const LatestPricesResponse&) = default;

    // Keys written in the order "currency", "prices", "stale", "as_of".
    void writeJson(JsonWriter& w) const;
    static LatestPricesResponse readJson(JsonValue& v);
    QByteArray toJson(JsonWriter::Dates dates = JsonWriter::Dates::exact) const {
        return Json::encode(*this, dates);
    }
};

std::size_t qHash(const LatestPricesResponse& r, std::size_t seed = 0) noexcept;

}  // namespace mintlux
