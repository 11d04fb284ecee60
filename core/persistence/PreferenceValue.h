#pragma once

#include "market/Decimal.h"

#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <variant>
#include <vector>

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

namespace mintlux {

// A member of the file the store cannot use (an array, an object that is no data value, a number
// past the decimal's range, a key given twice): it reads as not set, and a save writes each
// occurrence back as it was typed.
struct UnusableJson {
    std::vector<QByteArray> occurrences;

    friend bool operator==(const UnusableJson&, const UnusableJson&) = default;
    friend std::size_t qHash(const UnusableJson& u, std::size_t seed = 0) noexcept {
        return qHashRange(u.occurrences.begin(), u.occurrences.end(), seed);
    }
};

// One stored preference. Its kind survives the file, so an integer is never read back as text:
// readers rely on that to tell a hand-typed "300" from 300.
class PreferenceValue {
public:
    enum class Kind : std::uint8_t { text, integer, boolean, data, number, unusable };

    PreferenceValue(QString text) : m_value(std::move(text)) {}       // NOLINT
    PreferenceValue(QByteArray data) : m_value(std::move(data)) {}    // NOLINT
    PreferenceValue(UnusableJson json) : m_value(std::move(json)) {}  // NOLINT
    // Text or bytes? Spell it QString or QByteArray.
    PreferenceValue(const char*) = delete;

    template <std::integral T>
    requires(!std::same_as<T, bool>) PreferenceValue(T value)  // NOLINT
    {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
            if (value > static_cast<T>(std::numeric_limits<std::int64_t>::max())) {
                m_value = Decimal(value);
                return;
            }
        }
        m_value = static_cast<std::int64_t>(value);
    }
    // A template, so that pointers and other types do not slip in through bool conversion.
    template <std::same_as<bool> B>
    PreferenceValue(B value) : m_value(value) {}  // NOLINT

    // A whole number that fits 64 bits becomes an integer: that is the kind the same number
    // has when read back from the file.
    PreferenceValue(const Decimal& number);  // NOLINT

    Kind kind() const noexcept { return static_cast<Kind>(m_value.index()); }

    // Each gives the value only when it is of that kind.
    std::optional<QString> text() const;
    std::optional<std::int64_t> integer() const;
    std::optional<bool> boolean() const;
    std::optional<QByteArray> data() const;
    // Integers as well as the other numbers.
    std::optional<Decimal> number() const;
    const UnusableJson* unusable() const { return std::get_if<UnusableJson>(&m_value); }

    friend bool operator==(const PreferenceValue&, const PreferenceValue&) = default;
    std::size_t hash() const noexcept;
    friend std::size_t qHash(const PreferenceValue& v, std::size_t seed = 0) noexcept {
        return qHashMulti(seed, v.hash());
    }

private:
    // Index order is Kind's order.
    std::variant<QString, std::int64_t, bool, QByteArray, Decimal, UnusableJson> m_value;
};

}  // namespace mintlux
