#pragma once

#include "market/AssetClass.h"

#include <concepts>
#include <cstddef>
#include <functional>
#include <optional>

#include <QString>
#include <QStringView>

namespace mintlux {

class JsonValue;
class JsonWriter;

// Something that has a price: a raw-value identity, an asset class and two labels.
template <class S>
concept PricingSeries = std::copyable<S> && std::equality_comparable<S> &&
    requires(const S s, QStringView raw, JsonWriter& w, JsonValue& v) {
    { s.rawValue() } -> std::convertible_to<QString>;
    { S::fromRawValue(raw) } -> std::same_as<std::optional<S>>;
    { S::assetClass() } -> std::same_as<AssetClass>;
    { s.displayName() } -> std::convertible_to<QString>;
    { s.symbolForUI() } -> std::convertible_to<QString>;
    { std::hash<S>{}(s) } -> std::convertible_to<std::size_t>;
    s.writeJson(w);
    { S::readJson(v) } -> std::same_as<S>;
};

// A unit a price is quoted per.
template <class U>
concept PricingUnit = std::copyable<U> && std::equality_comparable<U> &&
    requires(const U u, bool shortForm, JsonWriter& w, JsonValue& v) {
    { u.assetClass() } -> std::same_as<AssetClass>;
    { u.displayLabel(shortForm) } -> std::convertible_to<QString>;
    { std::hash<U>{}(u) } -> std::convertible_to<std::size_t>;
    u.writeJson(w);
    { U::readJson(v) } -> std::same_as<U>;
};

}  // namespace mintlux
