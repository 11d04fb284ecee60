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

QByteArray bytesOf(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The member's text as written; throws only when it is not JSON.
QByteArray validatedRaw(JsonValue& value, JsonParser& inner) {
    const JsonValue::Type type = value.type();
    const std::string_view raw = value.rawJson();
    if (type == JsonValue::Type::object || type == JsonValue::Type::array) {
        inner.parse(QByteArrayView(raw.data(), static_cast<qsizetype>(raw.size())),
                    [](JsonValue& v) { v.skip(); });
    }
    return bytesOf(raw);
}

// The member's value; the member as written when the store cannot use it; nothing for null.
std::optional<PreferenceValue> readValue(JsonValue& value, JsonParser& inner) {
    switch (value.type()) {
        case JsonValue::Type::string:
            return PreferenceValue(value.qstring());
        case JsonValue::Type::boolean:
            return PreferenceValue(value.boolean());
        case JsonValue::Type::null:
            value.readNull();
            return std::nullopt;
        case JsonValue::Type::number:
        case JsonValue::Type::array:
            break;
        case JsonValue::Type::object: {
            const QByteArray raw = validatedRaw(value, inner);
            std::optional<QByteArray> data;
            try {
                inner.parse(raw, [&](JsonValue& v) { data = readData(v); });
            } catch (const DecodingError&) {
                return PreferenceValue(UnusableJson{{raw}});
            }
            return PreferenceValue(std::move(*data));
        }
    }
    const QByteArray raw = validatedRaw(value, inner);
    if (const auto number = Decimal::parseJsonNumber(
            std::string_view(raw.data(), static_cast<std::size_t>(raw.size())))) {
        return PreferenceValue(*number);
    }
    return PreferenceValue(UnusableJson{{raw}});
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
        case PreferenceValue::Kind::unusable:
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
    JsonParser inner;
    parser.parse(bytes, [&](JsonValue& root) {
        root.forEachField([&](std::string_view key, JsonValue& field) {
            QString name = qstringFromUtf8(key);
            if (seen.insert(name).second) {
                if (auto value = readValue(field, inner)) {
                    values.emplace(std::move(name), std::move(*value));
                }
                return;
            }
            // Which one the user meant is a guess, so the key is unusable, and all of them stay.
            const auto it = values.find(name);
            UnusableJson kept{{it == values.end() ? QByteArray("null") : jsonValue(it->second)}};
            if (it != values.end() && it->second.unusable()) {
                kept = *it->second.unusable();
            }
            kept.occurrences.push_back(validatedRaw(field, inner));
            values.insert_or_assign(std::move(name), PreferenceValue(std::move(kept)));
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
        if (const UnusableJson* kept = value.unusable()) {
            for (const QByteArray& occurrence : kept->occurrences) {
                if (&occurrence != &kept->occurrences.front()) {
                    out += ",\n";
                }
                out += "    " + jsonString(key) + ": " + occurrence;
            }
            continue;
        }
        out += "    ";
        out += jsonString(key);
        out += ": ";
        out += jsonValue(value);
    }
    out += "\n}\n";
    return out;
}

}  // namespace mintlux::PreferencesFormat
