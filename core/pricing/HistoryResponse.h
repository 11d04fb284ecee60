#pragma once

#include "json/Json.h"
#include "market/Decimal.h"
#include "market/Hashing.h"
#include "market/Instant.h"

#include <vector>

#include <QString>

namespace mintlux {

// One metal's price history over a range. The echo fields must be present but are not
// trusted: values are taken in the unit and currency that were asked for.
struct HistoryResponse {
    struct HistoryPoint {
        Instant t;
        Decimal v;

        friend bool operator==(const HistoryPoint&, const HistoryPoint&) = default;
        friend std::size_t qHash(const HistoryPoint& p, std::size_t seed = 0) noexcept {
            return qHashMulti(seed, hashKey(p.t), p.v);
        }
        void writeJson(JsonWriter& w) const;
        static HistoryPoint readJson(JsonValue& v);
    };

    QString series;
    QString currency;
    QString unit;
    QString range;
    std::vector<HistoryPoint> points;  // oldest first, as received

    friend bool operator==(const HistoryResponse&, const HistoryResponse&) = default;

    // Keys written in the order "series", "currency", "unit", "range", "points".
    void writeJson(JsonWriter& w) const;
    static HistoryResponse readJson(JsonValue& v);
    QByteArray toJson(JsonWriter::Dates dates = JsonWriter::Dates::exact) const {
        return Json::encode(*this, dates);
    }
};

std::size_t qHash(const HistoryResponse& r, std::size_t seed = 0) noexcept;

}  // namespace mintlux
