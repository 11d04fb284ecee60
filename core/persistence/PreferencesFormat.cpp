#include "persistence/PreferencesFormat.h"

#include "json/Json.h"
#include "json/JsonValue.h"
#include "json/JsonWriter.h"

#include <set>

namespace mintlux::PreferencesFormat {

namespace {

using Kind = DecodingError::Kind;

constexpr std::string_view kDataTag = "base64";

QByteArray readData(JsonValue& object) {
    std::optional<std::string_view> encoded;
    object.forEachField([&](std::string_view key, JsonValue& field) {
        if (key != kDataTag) {
            field.fail(Kind::dataCorrupted, "Unknown member in a data value");
        }
        field.readOnce(encoded, &JsonValue::string);
    });
    const std::string_view text = object.take(encoded, kDataTag);
    auto decoded =
        QByteArray::fromBase64Encoding(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        object.fail(Kind::dataCorrupted, "Invalid base64 data");
    }
    return std::move(*decoded);
}

std::optional<PreferenceValue> readValue(JsonValue& value) {
    switch (value.type()) {
        case JsonValue::Type::string:
            return PreferenceValue(value.qstring());
        case JsonValue::Type::boolean:
            return PreferenceValue(value.boolean());
        case JsonValue::Type::number:
            return PreferenceValue(value.decimal());
        case JsonValue::Type::object:
            return PreferenceValue(readData(value));
        case JsonValue::Type::null:
            value.readNull();
            return std::nullopt;
        case JsonValue::Type::array:
            break;
    }
    value.fail(Kind::typeMismatch, "Expected text, a number, a boolean or data but found an array");
}

QByteArray jsonString(QStringView text) {
    JsonWriter w;
    w.string(text);
    return w.take();
}

QByteArray jsonValue(const PreferenceValue& value) {
    JsonWriter w;
    switch (value.kind()) {
        case PreferenceValue::Kind::text:
            w.string(*value.text());
            break;
        case PreferenceValue::Kind::integer:
            w.integer(*value.integer());
            break;
        case PreferenceValue::Kind::boolean:
            w.boolean(*value.boolean());
            break;
        case PreferenceValue::Kind::number:
            w.number(*value.number());
            break;
        case PreferenceValue::Kind::data:
            w.beginObject();
            const QByteArray encoded = value.data()->toBase64();
            w.key(kDataTag).string(
                std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())));
            w.endObject();
            break;
    }
    return w.take();
}

}  // namespace

PreferenceMap decode(QByteArrayView bytes) {
    // Editors on some systems start UTF-8 files with a byte-order mark.
    static constexpr QByteArrayView bom("\xEF\xBB\xBF");
    if (bytes.startsWith(bom)) {
        bytes = bytes.sliced(bom.size());
    }
    if (bytes.trimmed().isEmpty()) {
        return {};
    }
    PreferenceMap values;
    // Null members leave no entry in `values`, yet a repeated key is still a repeated key.
    std::set<QString> seen;
    JsonParser parser;
    parser.parse(bytes, [&](JsonValue& root) {
        root.forEachField([&](std::string_view key, JsonValue& field) {
            QString name = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
            if (!seen.insert(name).second) {
                field.fail(Kind::dataCorrupted, "Duplicate key");
            }
            if (auto value = readValue(field)) {
                values.emplace(std::move(name), std::move(*value));
            }
        });
    });
    return values;
}

QByteArray encode(const PreferenceMap& values) {
    if (values.empty()) {
        return "{}\n";
    }
    QByteArray out = "{\n";
    bool first = true;
    for (const auto& [key, value] : values) {
        if (!first) {
            out += ",\n";
        }
        first = false;
        out += "    ";
        out += jsonString(key);
        out += ": ";
        out += jsonValue(value);
    }
    out += "\n}\n";
    return out;
}

}  // namespace mintlux::PreferencesFormat
