#pragma once

#include "json/DecodingError.h"
#include "json/JsonWriter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include <QByteArray>
#include <QByteArrayView>

namespace mintlux {

class JsonValue;

// A reusable JSON reader: owns the parser's buffers and a padded copy of the input, so one per
// decoding site keeps decoding allocation-free after warm-up. Not for concurrent use.
class JsonParser {
public:
    JsonParser();
    ~JsonParser();
    JsonParser(JsonParser&&) noexcept;
    JsonParser& operator=(JsonParser&&) noexcept;

    // Hands the document's root to `read`; fails with DecodingError on malformed JSON, on
    // whatever `read` rejects, and on anything but blanks after the root value.
    void parse(QByteArrayView bytes, const std::function<void(JsonValue&)>& read);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

namespace Json {

JsonParser& threadParser();

// Any type with `static T readJson(JsonValue&)` decodes; any with `writeJson(JsonWriter&)`
// encodes.
template <class T>
T decode(QByteArrayView bytes, JsonParser& parser = threadParser()) {
    std::optional<T> out;
    parser.parse(bytes, [&out](JsonValue& root) { out.emplace(T::readJson(root)); });
    return std::move(*out);
}

template <class T>
QByteArray encode(const T& value, JsonWriter::Dates dates = JsonWriter::Dates::exact) {
    JsonWriter w(dates);
    value.writeJson(w);
    return w.take();
}

// For value types whose headers should not see the parser: a raw-value string, an integer,
// and the data-corrupted failure for a text that names no case.
std::string_view readString(JsonValue& value);
std::int64_t readInteger(JsonValue& value);
[[noreturn]] void failInvalidRawValue(const JsonValue& value, std::string_view typeName,
                                      std::string_view text);

}  // namespace Json

}  // namespace mintlux
