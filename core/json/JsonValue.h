#pragma once

// Internal to the codecs: pulls in the parser, so only .cpp files that decode include it.

#include "json/DecodingError.h"
#include "market/Decimal.h"
#include "market/Instant.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include <simdjson.h>

namespace mintlux {

// Decoded JSON text (keys and strings) as a QString, every character kept: QString::fromUtf8 would
// take a leading U+FEFF for a byte order mark and drop it.
QString qstringFromUtf8(std::string_view utf8);

// One value of a document being decoded, with the path that leads to it for error messages.
// Every read validates what it consumes; unknown members go through skip(), which validates
// them too, so a document is accepted only if all of it is well-formed JSON.
class JsonValue {
public:
    enum class Type { object, array, string, number, boolean, null };
    // Deeper than this is junk for every document the system reads; bounded to keep validation
    // off the end of the stack.
    static constexpr int kMaxDepth = 64;

    explicit JsonValue(simdjson::ondemand::document& document) : m_document(&document) {}
    JsonValue(simdjson::ondemand::value value, const JsonValue& parent, std::string_view key)
        : m_value(value), m_parent(&parent), m_key(key), m_depth(parent.m_depth + 1) {}
    JsonValue(simdjson::ondemand::value value, const JsonValue& parent, std::size_t index)
        : m_value(value), m_parent(&parent), m_index(index), m_depth(parent.m_depth + 1) {}

    Type type();
    // Consumes the value and returns true if it is null; otherwise leaves it for a typed read.
    bool readNull();
    std::string_view string();
    QString qstring();
    Decimal decimal();
    // Null reads as no value.
    std::optional<Decimal> optionalDecimal();
    bool boolean();
    std::int64_t integer();
    // A string through the ISO-8601 date parsers, in order.
    Instant date();
    // Validates and discards the value, whatever it is.
    void skip();
    // The value's text as written, consumed. Inside an object or array only the structure is
    // checked: whoever keeps the text validates it by parsing it again.
    std::string_view rawJson();

    template <class F>
    void forEachField(F&& visit) {
        simdjson::ondemand::object object;
        enter(Type::object, [&](auto& v) { return v.get_object().get(object); });
        for (auto member : object) {
            simdjson::ondemand::field field;
            check(std::move(member).get(field));
            std::string_view key;
            if (!escapeFree(reinterpret_cast<const char*>(field.key().raw()), key)) {
                check(field.unescaped_key().get(key));
            }
            JsonValue child(field.value(), *this, key);
            visit(key, child);
        }
    }

    template <class F>
    void forEachElement(F&& visit) {
        simdjson::ondemand::array array;
        enter(Type::array, [&](auto& v) { return v.get_array().get(array); });
        std::size_t index = 0;
        for (auto element : array) {
            simdjson::ondemand::value item;
            check(std::move(element).get(item));
            JsonValue child(item, *this, index++);
            visit(child);
        }
    }

    // Stores a member's value once; a second occurrence of the same key is an error, since
    // which one wins would be a guess.
    template <class T, class Read>
    void readOnce(std::optional<T>& slot, Read&& read) {
        if (slot) {
            fail(DecodingError::Kind::dataCorrupted, "Duplicate key");
        }
        slot.emplace(std::invoke(std::forward<Read>(read), *this));
    }

    // The value of a required member gathered by readOnce, or the key-not-found failure.
    template <class T>
    T take(std::optional<T>& slot, std::string_view key) const {
        if (!slot) {
            failMissingKey(key);
        }
        return std::move(*slot);
    }

    std::string codingPath() const;
    [[noreturn]] void fail(DecodingError::Kind kind, std::string_view message) const;
    // For failures whose text must be exactly as given, with no location appended.
    [[noreturn]] void failVerbatim(DecodingError::Kind kind, const std::string& message) const;
    [[noreturn]] void failMissingKey(std::string_view key) const;

private:
    // Text with no escapes is its raw bytes, so keys and strings skip a copy through the
    // parser's string buffer. `start` follows an opening quote; the parser has already checked
    // that the string is closed.
    static bool escapeFree(const char* start, std::string_view& text) {
        for (const char* p = start;; ++p) {
            if (*p == '"') {
                text = std::string_view(start, static_cast<std::size_t>(p - start));
                return true;
            }
            if (*p == '\\') {
                return false;
            }
        }
    }
    template <class F>
    auto visitRaw(F&& f) {
        return m_document ? f(*m_document) : f(m_value);
    }
    template <class Get>
    void enter(Type expected, Get&& get) {
        if (m_depth >= kMaxDepth) {
            fail(DecodingError::Kind::dataCorrupted, "Nesting too deep");
        }
        readTyped(expected, std::forward<Get>(get));
    }
    template <class Get>
    void readTyped(Type expected, Get&& get) {
        const simdjson::error_code error = visitRaw(std::forward<Get>(get));
        if (error == simdjson::INCORRECT_TYPE) {
            failType(expected);
        }
        check(error);
    }
    std::string_view numberToken();
    // The root scalar's text, trailing blanks cut.
    std::string_view documentToken();
    void check(simdjson::error_code error) const;
    [[noreturn]] void failType(Type expected);

    simdjson::ondemand::document* m_document = nullptr;
    simdjson::ondemand::value m_value;
    const JsonValue* m_parent = nullptr;
    std::string_view m_key;
    std::size_t m_index = std::string_view::npos;
    int m_depth = 0;
};

}  // namespace mintlux
