#pragma once

#include "json/Json.h"
#include "market/Decimal.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include <QString>

namespace mintlux {

// Gold fineness grades. Purities are the trade's fixed values, not karat / 24: 24K is 0.9999.
class KaratGrade {
public:
    enum Case : std::uint8_t { k10, k14, k18, k22, k24 };

    constexpr KaratGrade(Case c) noexcept : m_case(c) {}  // NOLINT(google-explicit-constructor)

    constexpr Case value() const noexcept { return m_case; }
    constexpr int rawValue() const noexcept { return kRawValues[m_case]; }
    // Exactly 10, 14, 18, 22 or 24; anything else is no grade.
    static constexpr std::optional<KaratGrade> fromRawValue(std::int64_t raw) noexcept {
        for (std::size_t i = 0; i < kRawValues.size(); ++i) {
            if (kRawValues[i] == raw) {
                return KaratGrade(static_cast<Case>(i));
            }
        }
        return std::nullopt;
    }
    static constexpr std::array<KaratGrade, 5> allCases() noexcept {
        return {k10, k14, k18, k22, k24};
    }

    QString displayLabel() const { return QString::number(rawValue()) + QLatin1Char('K'); }
    const Decimal& purity() const;

    // Encoded as the bare integer, e.g. 22.
    void writeJson(JsonWriter& w) const { w.integer(rawValue()); }
    static KaratGrade readJson(JsonValue& v);
    QByteArray toJson() const { return Json::encode(*this); }
    static KaratGrade fromJson(QByteArrayView bytes) { return Json::decode<KaratGrade>(bytes); }

    friend constexpr bool operator==(KaratGrade, KaratGrade) noexcept = default;
    friend std::size_t qHash(KaratGrade k, std::size_t seed = 0) noexcept {
        return ::qHash(k.rawValue(), seed);
    }

private:
    static constexpr std::array<int, 5> kRawValues{10, 14, 18, 22, 24};
    Case m_case;
};

}  // namespace mintlux

template <>
struct std::hash<mintlux::KaratGrade> {
    std::size_t operator()(mintlux::KaratGrade k) const noexcept {
        return std::hash<int>{}(k.rawValue());
    }
};
