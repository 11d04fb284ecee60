#include "json/JsonValue.h"

#include "json/Iso8601.h"
#include "json/Json.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include <QStringDecoder>

namespace mintlux {

namespace {

using Kind = DecodingError::Kind;

const char* describe(JsonValue::Type t) {
    switch (t) {
        case JsonValue::Type::object:
            return "an object";
        case JsonValue::Type::array:
            return "an array";
        case JsonValue::Type::string:
            return "a string";
        case JsonValue::Type::number:
            return "a number";
        case JsonValue::Type::boolean:
            return "a boolean";
        case JsonValue::Type::null:
            return "null";
    }
    return "a value";
}

std::string_view trimTrailingBlanks(std::string_view s) {
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// The JSON number grammar without any range limit: valid JSON that no decimal can hold.
bool isJsonNumber(std::string_view s) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
        }
        return i - start;
    };
    if (i < s.size() && s[i] == '-') {
        ++i;
    }
    const std::size_t intStart = i;
    const std::size_t intDigits = digits();
    if (intDigits == 0 || (s[intStart] == '0' && intDigits > 1)) {
        return false;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (digits() == 0) {
            return false;
        }
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return i == s.size();
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

[[noreturn]] void failDocument(const std::string& message) {
    throw DecodingError(Kind::dataCorrupted, {}, message);
}

std::string invalidJson(simdjson::error_code error) {
    return std::string("Invalid JSON: ") + simdjson::error_message(error);
}

}  // namespace

JsonValue::Type JsonValue::type() {
    simdjson::ondemand::json_type t{};
    check(visitRaw([&](auto& v) { return v.type().get(t); }));
    switch (t) {
        case simdjson::ondemand::json_type::object:
            return Type::object;
        case simdjson::ondemand::json_type::array:
            return Type::array;
        case simdjson::ondemand::json_type::string:
            return Type::string;
        case simdjson::ondemand::json_type::number:
            return Type::number;
        case simdjson::ondemand::json_type::boolean:
            return Type::boolean;
        case simdjson::ondemand::json_type::null:
            return Type::null;
    }
    fail(Kind::dataCorrupted, "Invalid JSON value");
}

bool JsonValue::readNull() {
    if (type() != Type::null) {
        return false;
    }
    if (m_document && documentToken() != "null") {
        // simdjson reads a root "null" followed by one more character (e.g. "null-") as null.
        fail(Kind::dataCorrupted, "Invalid literal");
    }
    bool isNull = false;
    check(visitRaw([&](auto& v) { return v.is_null().get(isNull); }));
    if (!isNull) {
        fail(Kind::dataCorrupted, "Invalid literal");
    }
    return true;
}

std::string_view JsonValue::string() {
    if (!m_document) {
        const char* const start = m_value.raw_json_token().data();
        std::string_view text;
        if (*start == '"' && escapeFree(start + 1, text)) {
            // Still consumed: skipping an unread string lets the parser take it for a key, so
            // `"a":{...}` in a value's place would pass unchecked.
            simdjson::ondemand::raw_json_string raw;
            check(m_value.get_raw_json_string().get(raw));
            return text;
        }
    }
    std::string_view s;
    readTyped(Type::string, [&](auto& v) { return v.get_string().get(s); });
    return s;
}

QString qstringFromUtf8(std::string_view utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

QString JsonValue::qstring() {
    return qstringFromUtf8(string());
}

std::string_view JsonValue::documentToken() {
    std::string_view token;
    check(m_document->raw_json_token().get(token));
    return trimTrailingBlanks(token);
}

std::string_view JsonValue::numberToken() {
    if (m_document) {
        if (type() != Type::number) {
            failType(Type::number);
        }
        return documentToken();
    }
    // The parser types a value by its first character; checking that here saves a second peek.
    const std::string_view token = m_value.raw_json_token();
    if (token.empty() || (token.front() != '-' && (token.front() < '0' || token.front() > '9'))) {
        failType(Type::number);
    }
    return trimTrailingBlanks(token);
}

Decimal JsonValue::decimal() {
    const std::string_view token = numberToken();
    if (auto d = Decimal::parseJsonNumber(token)) {
        return *d;
    }
    if (isJsonNumber(token)) {
        fail(Kind::dataCorrupted, "Number " + std::string(token) + " is out of range");
    }
    fail(Kind::dataCorrupted, "Invalid number " + std::string(token));
}

std::optional<Decimal> JsonValue::optionalDecimal() {
    if (readNull()) {
        return std::nullopt;
    }
    return decimal();
}

bool JsonValue::boolean() {
    if (m_document) {
        // simdjson reads a root "false" followed by one more character (e.g. "falsey") as false.
        const std::string_view token = documentToken();
        if (token != "true" && token != "false") {
            failType(Type::boolean);
        }
    }
    bool b = false;
    readTyped(Type::boolean, [&](auto& v) { return v.get_bool().get(b); });
    return b;
}

std::int64_t JsonValue::integer() {
    const Decimal d = decimal();
    if (d.exponent() < 0) {
        fail(Kind::typeMismatch, "Expected an integer but found " + d.toString());
    }
    const std::string text = d.toString();
    std::int64_t out = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), out);
    if (res.ec != std::errc{}) {
        fail(Kind::dataCorrupted, "Number " + text + " is out of range");
    }
    return out;
}

Instant JsonValue::date() {
    const std::string_view text = string();
    Instant instant;
    if (Iso8601::parse(text, instant)) {
        return instant;
    }
    failVerbatim(Kind::dataCorrupted, "Invalid ISO-8601 date: " + std::string(text));
}

void JsonValue::skip() {
    switch (type()) {
        case Type::object:
            forEachField([](std::string_view, JsonValue& member) { member.skip(); });
            return;
        case Type::array:
            forEachElement([](JsonValue& element) { element.skip(); });
            return;
        case Type::string:
            string();
            return;
        case Type::number:
            if (!isJsonNumber(numberToken())) {
                fail(Kind::dataCorrupted, "Invalid number " + std::string(numberToken()));
            }
            return;
        case Type::boolean:
            boolean();
            return;
        case Type::null:
            readNull();
            return;
    }
}

std::string_view JsonValue::rawJson() {
    std::string_view text;
    switch (type()) {
        case Type::object: {
            simdjson::ondemand::object object;
            enter(Type::object, [&](auto& v) { return v.get_object().get(object); });
            check(object.raw_json().get(text));
            break;
        }
        case Type::array: {
            simdjson::ondemand::array array;
            enter(Type::array, [&](auto& v) { return v.get_array().get(array); });
            check(array.raw_json().get(text));
            break;
        }
        default:
            text = m_document ? documentToken() : m_value.raw_json_token();
            skip();
            break;
    }
    return trimTrailingBlanks(text);
}

std::string JsonValue::codingPath() const {
    std::vector<const JsonValue*> chain;
    for (const JsonValue* v = this; v && v->m_parent; v = v->m_parent) {
        chain.push_back(v);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->m_index != std::string_view::npos) {
            path += '[' + std::to_string((*it)->m_index) + ']';
        } else {
            if (!path.empty()) {
                path += '.';
            }
            path += (*it)->m_key;
        }
    }
    return path;
}

void JsonValue::fail(Kind kind, std::string_view message) const {
    std::string path = codingPath();
    std::string description(message);
    if (!path.empty()) {
        description += " at " + path;
    }
    throw DecodingError(kind, std::move(path), description);
}

void JsonValue::failVerbatim(Kind kind, const std::string& message) const {
    throw DecodingError(kind, codingPath(), message);
}

void JsonValue::failMissingKey(std::string_view key) const {
    std::string path = codingPath();
    std::string description = "Missing key " + quoted(key);
    if (!path.empty()) {
        description += " at " + path;
        path += '.';
    }
    path += key;
    throw DecodingError(Kind::keyNotFound, std::move(path), description);
}

void JsonValue::check(simdjson::error_code error) const {
    if (error) {
        fail(Kind::dataCorrupted, invalidJson(error));
    }
}

void JsonValue::failType(Type expected) {
    const Type actual = type();
    if (actual == Type::null) {
        fail(Kind::valueNotFound,
             std::string("Expected ") + describe(expected) + " but found null");
    }
    if (actual == expected) {
        fail(Kind::dataCorrupted, "Invalid literal");
    }
    fail(Kind::typeMismatch,
         std::string("Expected ") + describe(expected) + " but found " + describe(actual));
}

struct JsonParser::Impl {
    simdjson::ondemand::parser parser;
    std::string buffer;
};

JsonParser::JsonParser() : m_impl(std::make_unique<Impl>()) {}
JsonParser::~JsonParser() = default;
JsonParser::JsonParser(JsonParser&&) noexcept = default;
JsonParser& JsonParser::operator=(JsonParser&&) noexcept = default;

namespace {

void readDocument(simdjson::ondemand::parser& parser, const simdjson::padded_string_view& input,
                  const std::function<void(JsonValue&)>& read) {
    // JSON text carries no byte order mark; simdjson 3.0 refuses one where later versions skip
    // it, so it is refused here, the same with every version.
    if (std::string_view(input.data(), input.size()).starts_with("\xEF\xBB\xBF")) {
        failDocument("Invalid JSON: a byte order mark before the document");
    }
    simdjson::ondemand::document document;
    if (auto error = parser.iterate(input).get(document)) {
        failDocument(invalidJson(error));
    }
    bool scalar = false;
    if (auto error = document.is_scalar().get(scalar)) {
        failDocument(invalidJson(error));
    }
    std::string_view scalarToken;
    if (scalar) {
        if (auto error = document.raw_json_token().get(scalarToken)) {
            failDocument(invalidJson(error));
        }
    }

    JsonValue root(document);
    read(root);

    // A scalar root's token runs (with its trailing blanks) to the end of a clean document;
    // after a container root the iterator must have nothing left.
    const bool trailing =
        scalar ? scalarToken.data() + scalarToken.size() != input.data() + input.size()
               : !document.current_location().error();
    if (trailing) {
        failDocument("Invalid JSON: unexpected content after the document");
    }
}

}  // namespace

void JsonParser::parse(QByteArrayView bytes, const std::function<void(JsonValue&)>& read) {
    std::string& buffer = m_impl->buffer;
    const auto size = static_cast<std::size_t>(bytes.size());
    // The parser reads ahead past the end; the padding only has to be there, not be anything.
    buffer.reserve(size + simdjson::SIMDJSON_PADDING);
    buffer.assign(bytes.data(), size);
    const simdjson::padded_string_view input(buffer.data(), size, buffer.capacity());

    try {
        readDocument(m_impl->parser, input, read);
    } catch (const DecodingError& e) {
        // Reading stops at the first problem, but a document that is not JSON at all is corrupt
        // data wherever its first type or key problem happens to sit (e.g. `[` + a valid record).
        if (e.kind() != Kind::dataCorrupted) {
            readDocument(m_impl->parser, input, [](JsonValue& root) { root.skip(); });
        }
        throw;
    }
}

namespace Json {

JsonParser& threadParser() {
    thread_local JsonParser parser;
    return parser;
}

std::string_view readString(JsonValue& value) {
    return value.string();
}

std::int64_t readInteger(JsonValue& value) {
    return value.integer();
}

void failInvalidRawValue(const JsonValue& value, std::string_view typeName, std::string_view text) {
    value.fail(Kind::dataCorrupted, "Cannot initialize " + std::string(typeName) +
                                        " from invalid value " + quoted(text));
}

}  // namespace Json

}  // namespace mintlux
