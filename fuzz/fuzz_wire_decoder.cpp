// Feeds arbitrary bytes to both wire records. Rejection must be a DecodingError (anything else
// escapes and is reported as a crash); acceptance must survive two oracles:
//  - what the record writes decodes back to an equal record, and writing that is byte-identical;
//  - Qt's independent JSON parser agrees that the document is JSON and reads the same texts.
#include "json/DecodingError.h"
#include "pricing/WireDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

namespace {

using namespace mintlux;

[[noreturn]] void mismatch(const char* what, QByteArrayView input, QByteArrayView written = {}) {
    std::fprintf(stderr, "oracle mismatch: %s\ninput:   %.*s\nwritten: %.*s\n", what,
                 static_cast<int>(input.size()), input.data(), static_cast<int>(written.size()),
                 written.data());
    std::abort();
}

template <WireRecord T>
std::optional<T> tryDecode(WireDecoder& decoder, QByteArrayView bytes,
                           std::optional<DecodingError::Kind>* failure = nullptr) {
    try {
        return decoder.decode<T>(bytes);
    } catch (const DecodingError& e) {
        if (failure) {
            *failure = e.kind();
        }
        return std::nullopt;
    }
}

// Qt's verdict on the bytes as one JSON value, and that value; nothing when it refuses only a
// number's range, which is this decoder's own policy (it takes 1e-400 as 0). Qt takes only an
// object or an array at the top, so the bytes go inside an array.
std::optional<QJsonValue> reference(QByteArrayView input, bool& isJson) {
    QByteArray wrapped;
    wrapped.reserve(input.size() + 2);
    wrapped.append('[').append(input).append(']');
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(wrapped, &error);
    if (error.error == QJsonParseError::IllegalNumber) {
        return std::nullopt;
    }
    isJson = error.error == QJsonParseError::NoError && document.array().size() == 1;
    return isJson ? document.array().at(0) : QJsonValue();
}

void expectText(const QJsonObject& object, const char* key, const QString& decoded,
                QByteArrayView input) {
    if (object.value(QLatin1StringView(key)).toString() != decoded) {
        mismatch(key, input);
    }
}

// Only the texts and flags are compared: number range and rounding are this decoder's own policy.
void crossCheck(const LatestPricesResponse& r, const QJsonObject& root, QByteArrayView input) {
    expectText(root, "currency", r.currency, input);
    if (root.value(QLatin1StringView("stale")).toBool() != r.stale) {
        mismatch("stale", input);
    }
    const QJsonObject prices = root.value(QLatin1StringView("prices")).toObject();
    if (static_cast<std::size_t>(prices.size()) != r.prices.size()) {
        mismatch("price count", input);
    }
    for (const auto& [code, entry] : r.prices) {
        if (!prices.contains(code)) {
            mismatch("price code", input);
        }
        expectText(prices.value(code).toObject(), "unit", entry.unit, input);
    }
}

void crossCheck(const HistoryResponse& r, const QJsonObject& root, QByteArrayView input) {
    expectText(root, "series", r.series, input);
    expectText(root, "currency", r.currency, input);
    expectText(root, "unit", r.unit, input);
    expectText(root, "range", r.range, input);
    if (static_cast<std::size_t>(root.value(QLatin1StringView("points")).toArray().size()) !=
        r.points.size()) {
        mismatch("point count", input);
    }
}

template <WireRecord T>
void check(WireDecoder& decoder, QByteArrayView input) {
    std::optional<DecodingError::Kind> failure;
    const std::optional<T> first = tryDecode<T>(decoder, input, &failure);
    if (!first) {
        // Only well-formed JSON may fail for a missing key, a null or a wrong type.
        bool isJson = true;
        if (*failure != DecodingError::Kind::dataCorrupted && reference(input, isJson) && !isJson) {
            mismatch("malformed JSON failed as something other than data corrupted", input);
        }
        return;
    }
    const QByteArray written = first->toJson();
    const std::optional<T> second = tryDecode<T>(decoder, written);
    if (!second) {
        mismatch("written text does not decode", input, written);
    }
    if (!(*second == *first)) {
        mismatch("re-decoded record differs", input, written);
    }
    if (second->toJson() != written) {
        mismatch("second write differs", input, written);
    }

    bool isJson = false;
    const std::optional<QJsonValue> qt = reference(input, isJson);
    if (!qt) {
        return;
    }
    if (!isJson || !qt->isObject()) {
        mismatch("accepted what Qt rejects as JSON", input);
    }
    crossCheck(*first, qt->toObject(), input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static WireDecoder decoder;
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    check<LatestPricesResponse>(decoder, input);
    check<HistoryResponse>(decoder, input);
    return 0;
}
