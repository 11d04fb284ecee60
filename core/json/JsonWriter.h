#pragma once

#include "market/Decimal.h"
#include "market/Instant.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QStringView>

namespace mintlux {

// Compact JSON text written in the order the caller emits it (records have a declared key order).
class JsonWriter {
public:
    enum class Dates { exact, milliseconds };
    explicit JsonWriter(Dates dates = Dates::exact) : m_dates(dates) {}

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);

    JsonWriter& string(QStringView text);
    JsonWriter& string(std::string_view utf8);
    JsonWriter& number(const Decimal& value);
    JsonWriter& integer(std::int64_t value);
    JsonWriter& boolean(bool value);
    JsonWriter& null();
    // ISO-8601 UTC text, the form every timestamp in the system is read back from.
    JsonWriter& date(Instant instant);

    QByteArray take();

private:
    void beforeValue();
    void appendEscaped(std::string_view utf8);

    QByteArray m_out;
    std::vector<bool> m_firstInScope;
    bool m_afterKey = false;
    Dates m_dates;
};

}  // namespace mintlux
