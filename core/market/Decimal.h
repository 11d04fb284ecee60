#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <QHashFunctions>
#include <QString>
#include <QStringView>

namespace mintlux {

// Base-10 floating decimal: sign, a mantissa of at most 38 significant digits and a signed
// exponent. Every price, quantity, purity and value in the system is one of these; binary
// floating point never touches an amount.
//
// The representation is canonical (no trailing zeros in the mantissa unless the exponent is at
// its ceiling, zero is always +0), so equality and hashing compare fields and 1.5 == 1.50.
// Arithmetic results are rounded to 38 significant digits, halves away from zero.
class Decimal {
public:
    static constexpr int kMaxDigits = 38;
    static constexpr int kMinExponent = -128;
    static constexpr int kMaxExponent = 127;

    constexpr Decimal() noexcept = default;

    template <std::integral T>
    requires(!std::same_as<T, bool>) Decimal(T value)
    noexcept {  // NOLINT(google-explicit-constructor): integers are decimals
        if constexpr (std::is_signed_v<T>) {
            m_negative = value < 0;
            // Widen before negating in unsigned arithmetic: the most negative value must not
            // overflow, and a narrower type's complement must not be taken modulo 2^64.
            const auto magnitude = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
            initFromInteger(m_negative ? std::uint64_t(0) - magnitude : magnitude);
        } else {
            initFromInteger(static_cast<std::uint64_t>(value));
        }
    }

    // Decimal text with no locale: optional sign, digits with an optional '.', optional exponent
    // ("2.5", "-0.375", "+1e3", ".5", "5."). No blanks, no grouping. Anything else, or a value
    // beyond the exponent range, yields no value; more than 38 digits are rounded.
    static std::optional<Decimal> parse(std::string_view text) noexcept;
    static std::optional<Decimal> parse(QStringView text) noexcept;
    // The JSON number grammar exactly (no '+', no leading zeros, digits on both sides of '.').
    static std::optional<Decimal> parseJsonNumber(std::string_view text) noexcept;
    // The shortest decimal that reads back as the same double; no value for NaN or infinity.
    static std::optional<Decimal> fromDouble(double value) noexcept;

    // Plain decimal text, never an exponent, never a locale: "2.5", "-0.375", "1000".
    std::string toString() const;
    QString toQString() const;
    // Nearest double; for chart coordinates only.
    double toDouble() const noexcept;

    bool isZero() const noexcept { return m_mantissa == 0; }
    bool isNegative() const noexcept { return m_negative; }
    int signum() const noexcept { return isZero() ? 0 : (m_negative ? -1 : 1); }
    Decimal magnitude() const noexcept {
        Decimal r = *this;
        r.m_negative = false;
        return r;
    }

    // Canonical parts: value = (-1)^negative * mantissa * 10^exponent.
    int exponent() const noexcept { return m_exponent; }
    int significantDigits() const noexcept;
    std::string mantissaString() const;

    Decimal operator-() const noexcept {
        Decimal r = *this;
        if (!r.isZero()) {
            r.m_negative = !r.m_negative;
        }
        return r;
    }

    // Throw std::overflow_error past the exponent ceiling; underflow rounds toward zero's grid.
    friend Decimal operator+(const Decimal& a, const Decimal& b) { return add(a, b, false); }
    friend Decimal operator-(const Decimal& a, const Decimal& b) { return add(a, b, true); }
    friend Decimal operator*(const Decimal& a, const Decimal& b);
    // Division by zero is a caller's bug: throws std::domain_error.
    friend Decimal operator/(const Decimal& a, const Decimal& b);

    Decimal& operator+=(const Decimal& o) { return *this = *this + o; }
    Decimal& operator-=(const Decimal& o) { return *this = *this - o; }
    Decimal& operator*=(const Decimal& o) { return *this = *this * o; }
    Decimal& operator/=(const Decimal& o) { return *this = *this / o; }

    friend bool operator==(const Decimal& a, const Decimal& b) noexcept {
        return a.m_mantissa == b.m_mantissa && a.m_exponent == b.m_exponent &&
               a.m_negative == b.m_negative;
    }
    friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) noexcept;

    std::size_t hash() const noexcept;

private:
    __extension__ using u128 = unsigned __int128;

    void initFromInteger(std::uint64_t magnitude) noexcept;
    static Decimal add(const Decimal& a, const Decimal& b, bool negateB);
    friend struct DecimalBuilder;

    u128 m_mantissa = 0;
    std::int32_t m_exponent = 0;
    bool m_negative = false;
};

inline std::size_t qHash(const Decimal& d, std::size_t seed = 0) noexcept {
    return qHashMulti(seed, d.hash());
}

}  // namespace mintlux

template <>
struct std::hash<mintlux::Decimal> {
    std::size_t operator()(const mintlux::Decimal& d) const noexcept { return d.hash(); }
};
