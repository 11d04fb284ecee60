#include "persistence/PreferenceValue.h"

#include <charconv>
#include <string>

namespace mintlux {

PreferenceValue::PreferenceValue(const Decimal& number) {
    if (number.exponent() >= 0) {
        const std::string digits = number.toString();
        std::int64_t whole = 0;
        const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), whole);
        if (res.ec == std::errc{} && res.ptr == digits.data() + digits.size()) {
            m_value = whole;
            return;
        }
    }
    m_value = number;
}

std::optional<QString> PreferenceValue::text() const {
    if (const auto* v = std::get_if<QString>(&m_value)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<std::int64_t> PreferenceValue::integer() const {
    if (const auto* v = std::get_if<std::int64_t>(&m_value)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<bool> PreferenceValue::boolean() const {
    if (const auto* v = std::get_if<bool>(&m_value)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<QByteArray> PreferenceValue::data() const {
    if (const auto* v = std::get_if<QByteArray>(&m_value)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<Decimal> PreferenceValue::number() const {
    if (const auto* v = std::get_if<std::int64_t>(&m_value)) {
        return Decimal(*v);
    }
    if (const auto* v = std::get_if<Decimal>(&m_value)) {
        return *v;
    }
    return std::nullopt;
}

std::size_t PreferenceValue::hash() const noexcept {
    const std::size_t seed = qHashMulti(0, static_cast<int>(kind()));
    return std::visit([seed](const auto& x) { return qHashMulti(seed, x); }, m_value);
}

}  // namespace mintlux
