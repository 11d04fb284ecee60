#pragma once

#include "json/Json.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <type_traits>

#include <QString>
#include <QStringView>

namespace mintlux {

class JsonValue;
class JsonWriter;

namespace detail {

inline QString staticText(std::u16string_view text) {
    // The tables are static storage, so no copy is needed.
    return QString::fromRawData(reinterpret_cast<const QChar*>(text.data()),
                                static_cast<qsizetype>(text.size()));
}

// Raw values are ASCII, so UTF-16 and UTF-8 candidates compare unit by unit.
template <class Char>
bool sameText(std::u16string_view raw, std::basic_string_view<Char> candidate) {
    if (raw.size() != candidate.size()) {
        return false;
    }
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(candidate[i])) !=
            raw[i]) {
            return false;
        }
    }
    return true;
}

struct VocabularyTag {};

}  // namespace detail

// A closed enumeration whose string raw value is its identity everywhere: in preferences, on
// the wire, in every encoded form. `Self` supplies `kRawValues` (in case order) and `kTypeName`.
template <class Self, class CaseEnum, std::size_t N>
class Vocabulary : public detail::VocabularyTag {
public:
    using Case = CaseEnum;

    constexpr Vocabulary(Case c) noexcept : m_case(c) {}  // NOLINT(google-explicit-constructor)

    constexpr Case value() const noexcept { return m_case; }
    constexpr std::size_t index() const noexcept { return static_cast<std::size_t>(m_case); }

    QString rawValue() const { return detail::staticText(Self::kRawValues[index()]); }

    static constexpr std::array<Self, N> allCases() noexcept {
        return []<std::size_t... I>(std::index_sequence<I...>) {
            return std::array<Self, N>{Self(static_cast<Case>(I))...};
        }
        (std::make_index_sequence<N>{});
    }

    // Exact, case-sensitive, untrimmed; no match is no value, never a default case.
    static std::optional<Self> fromRawValue(QStringView raw) noexcept {
        return find(std::u16string_view(reinterpret_cast<const char16_t*>(raw.utf16()),
                                        static_cast<std::size_t>(raw.size())));
    }
    static std::optional<Self> fromRawValue(std::string_view utf8) noexcept { return find(utf8); }

    void writeJson(JsonWriter& w) const { w.string(rawValue()); }
    static Self readJson(JsonValue& v) {
        const std::string_view text = Json::readString(v);
        if (auto c = fromRawValue(text)) {
            return *c;
        }
        Json::failInvalidRawValue(v, Self::kTypeName, text);
    }
    QByteArray toJson() const { return Json::encode(static_cast<const Self&>(*this)); }
    static Self fromJson(QByteArrayView bytes) { return Json::decode<Self>(bytes); }

    friend constexpr bool operator==(Vocabulary a, Vocabulary b) noexcept {
        return a.m_case == b.m_case;
    }
    friend std::size_t qHash(Vocabulary v, std::size_t seed = 0) noexcept {
        return ::qHash(static_cast<int>(v.m_case), seed);
    }

private:
    template <class Char>
    static std::optional<Self> find(std::basic_string_view<Char> text) noexcept {
        for (std::size_t i = 0; i < N; ++i) {
            if (detail::sameText(Self::kRawValues[i], text)) {
                return Self(static_cast<Case>(i));
            }
        }
        return std::nullopt;
    }

    Case m_case;
};

}  // namespace mintlux

template <class T>
requires std::is_base_of_v<mintlux::detail::VocabularyTag, T>
struct std::hash<T> {
    std::size_t operator()(const T& v) const noexcept {
        return std::hash<std::size_t>{}(v.index());
    }
};
