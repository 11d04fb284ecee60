#include "market/Decimal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include <boost/multiprecision/cpp_int.hpp>

namespace mintlux {

namespace {

__extension__ using u128 = unsigned __int128;
namespace mp = boost::multiprecision;
// Wide enough for a 38-digit mantissa times 10^39 (the largest intermediate: < 10^77 < 2^256).
using u256 = mp::number<mp::cpp_int_backend<256, 256, mp::unsigned_magnitude, mp::unchecked, void>>;

constexpr std::array<u128, 39> kPow10 = [] {
    std::array<u128, 39> t{};
    u128 p = 1;
    for (auto& v : t) {
        v = p;
        p *= 10;
    }
    return t;
}();
constexpr u128 kMantissaLimit = kPow10[38];
constexpr std::uint64_t kPow10_19 = 10'000'000'000'000'000'000ULL;

const std::array<u256, 78>& widePow10() {
    static const auto table = [] {
        std::array<u256, 78> t{};
        u256 p = 1;
        for (auto& v : t) {
            v = p;
            p *= 10;
        }
        return t;
    }();
    return table;
}

u256 toWide(u128 v) {
    u256 r = static_cast<std::uint64_t>(v >> 64);
    r <<= 64;
    r |= static_cast<std::uint64_t>(v);
    return r;
}

u128 toNarrow(const u256& v) {
    const auto hi = static_cast<std::uint64_t>(v >> 64);
    const auto lo = static_cast<std::uint64_t>(v & std::numeric_limits<std::uint64_t>::max());
    return (u128(hi) << 64) | lo;
}

int digitCount(u128 v) {
    if (v == 0) {
        return 1;
    }
    const auto hi = static_cast<std::uint64_t>(v >> 64);
    const int bits =
        hi ? 128 - std::countl_zero(hi) : 64 - std::countl_zero(static_cast<std::uint64_t>(v));
    // floor(bits * log10(2)) is the digit count of 2^(bits-1) less one; one compare settles it.
    const int t = (bits * 1233) >> 12;
    return t + (v >= kPow10[static_cast<std::size_t>(t)] ? 1 : 0);
}

int digitCount(const u256& v) {
    if ((v >> 128) == 0) {
        return digitCount(toNarrow(v));
    }
    const auto& p = widePow10();
    int n = 39;
    while (n < 78 && v >= p[static_cast<std::size_t>(n)]) {
        ++n;
    }
    return n;
}

u128 pow10Of(u128, int k) {
    return kPow10[static_cast<std::size_t>(k)];
}
const u256& pow10Of(const u256&, int k) {
    return widePow10()[static_cast<std::size_t>(k)];
}
u128 narrow(u128 v) {
    return v;
}
u128 narrow(const u256& v) {
    return toNarrow(v);
}

struct Rounded {
    u128 mantissa;
    std::int64_t exponent;
};

// Rounds a nonzero integer to 38 significant digits, halves away from zero. Callers guarantee
// that anything below the integer's last digit is less than one unit of it, so the dropped
// integer digits alone decide the direction.
template <class U>
Rounded roundToPrecision(const U& v, std::int64_t exponent) {
    const int n = digitCount(v);
    if (n <= Decimal::kMaxDigits) {
        return {narrow(v), exponent};
    }
    const int k = n - Decimal::kMaxDigits;
    const U q = v / pow10Of(v, k);
    const U r = v - q * pow10Of(v, k);
    u128 m = narrow(q);
    exponent += k;
    // Below the exponent floor make() rounds once more, onto the 10^-128 grid; rounding here too
    // could lift a value just under that grid's half up to it. Truncated digits decide alike.
    if (exponent < Decimal::kMinExponent) {
        return {m, exponent};
    }
    if (r >= pow10Of(v, k - 1) * 5) {
        ++m;
    }
    if (m == kMantissaLimit) {
        m = kPow10[37];
        ++exponent;
    }
    return {m, exponent};
}

void stripTrailingZeros(u128& m, std::int64_t& e, std::int64_t ceiling) {
    while (e < ceiling) {
        if ((m >> 64) == 0) {
            auto small = static_cast<std::uint64_t>(m);
            while (e < ceiling && small % 10 == 0) {
                small /= 10;
                ++e;
            }
            m = small;
            return;
        }
        if (m % 10 != 0) {
            return;
        }
        m /= 10;
        ++e;
    }
}

std::strong_ordering reversed(std::strong_ordering o) {
    return 0 <=> o;
}

}  // namespace

// Builds canonical values; the one place that knows the representation's invariants.
struct DecimalBuilder {
    // nullopt when the value is too large for the exponent range.
    static std::optional<Decimal> make(bool negative, u128 m, std::int64_t e) noexcept {
        if (m == 0) {
            return Decimal{};
        }
        if (e < Decimal::kMinExponent) {
            // Below the grid: round to its last place, halves away from zero.
            const std::int64_t shift = Decimal::kMinExponent - e;
            const int n = digitCount(m);
            if (shift > n) {
                return Decimal{};
            }
            const int s = static_cast<int>(shift);
            const u128 p = kPow10[static_cast<std::size_t>(s)];
            u128 q = m / p;
            if (m - q * p >= kPow10[static_cast<std::size_t>(s - 1)] * 5) {
                ++q;
            }
            m = q;
            e = Decimal::kMinExponent;
            if (m == 0) {
                return Decimal{};
            }
        }
        stripTrailingZeros(m, e, Decimal::kMaxExponent);
        if (e > Decimal::kMaxExponent) {
            const std::int64_t room = Decimal::kMaxDigits - digitCount(m);
            if (e - Decimal::kMaxExponent > room) {
                return std::nullopt;
            }
            m *= kPow10[static_cast<std::size_t>(e - Decimal::kMaxExponent)];
            e = Decimal::kMaxExponent;
        }
        Decimal d;
        d.m_mantissa = m;
        d.m_exponent = static_cast<std::int32_t>(e);
        d.m_negative = negative;
        return d;
    }

    template <class U>
    static Decimal fromExact(bool negative, const U& v, std::int64_t e) {
        if (v == 0) {
            return Decimal{};
        }
        const Rounded r = roundToPrecision(v, e);
        auto d = make(negative, r.mantissa, r.exponent);
        if (!d) {
            throw std::overflow_error("Decimal overflow");
        }
        return *d;
    }

    static u128 mantissa(const Decimal& d) { return d.m_mantissa; }
    static std::int64_t exponent(const Decimal& d) { return d.m_exponent; }
    static bool negative(const Decimal& d) { return d.m_negative; }

    static std::optional<Decimal> parse(std::string_view s, bool json) noexcept;
};

void Decimal::initFromInteger(std::uint64_t magnitude) noexcept {
    // A 64-bit integer has at most 20 digits and so always fits.
    *this = *DecimalBuilder::make(m_negative, magnitude, 0);
}

std::optional<Decimal> DecimalBuilder::parse(std::string_view s, bool json) noexcept {
    std::size_t i = 0;
    const std::size_t n = s.size();
    bool negative = false;
    if (i < n && (s[i] == '-' || (!json && s[i] == '+'))) {
        negative = s[i] == '-';
        ++i;
    }

    u128 m = 0;
    int kept = 0;
    int firstDropped = -1;
    std::int64_t scale = 0;
    auto isDigit = [&](std::size_t at) { return at < n && s[at] >= '0' && s[at] <= '9'; };
    auto take = [&](int d, bool fraction) {
        if (kept == 0 && d == 0) {
            scale -= fraction ? 1 : 0;
        } else if (kept < Decimal::kMaxDigits) {
            m = m * 10 + static_cast<unsigned>(d);
            ++kept;
            scale -= fraction ? 1 : 0;
        } else {
            if (firstDropped < 0) {
                firstDropped = d;
            }
            scale += fraction ? 0 : 1;
        }
    };

    const std::size_t intStart = i;
    while (isDigit(i)) {
        take(s[i++] - '0', false);
    }
    const std::size_t intDigits = i - intStart;
    if (json && (intDigits == 0 || (s[intStart] == '0' && intDigits > 1))) {
        return std::nullopt;
    }
    std::size_t fracDigits = 0;
    if (i < n && s[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (isDigit(i)) {
            take(s[i++] - '0', true);
        }
        fracDigits = i - fracStart;
        if (json && fracDigits == 0) {
            return std::nullopt;
        }
    }
    if (intDigits + fracDigits == 0) {
        return std::nullopt;
    }
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i] == '-';
            ++i;
        }
        if (!isDigit(i)) {
            return std::nullopt;
        }
        // Saturate: anything this far out is over- or underflow whatever the mantissa says.
        std::int64_t exp = 0;
        while (isDigit(i)) {
            exp = std::min<std::int64_t>(exp * 10 + (s[i++] - '0'), 1'000'000'000);
        }
        scale += expNegative ? -exp : exp;
    }
    if (i != n) {
        return std::nullopt;
    }
    // Below the exponent floor make() does the only rounding (see roundToPrecision).
    if (firstDropped >= 5 && scale >= Decimal::kMinExponent) {
        ++m;
        if (m == kMantissaLimit) {
            m = kPow10[37];
            ++scale;
        }
    }
    return make(negative && m != 0, m, scale);
}

std::optional<Decimal> Decimal::parse(std::string_view text) noexcept {
    return DecimalBuilder::parse(text, false);
}

std::optional<Decimal> Decimal::parse(QStringView text) noexcept {
    // Long inputs are legitimate (many digits); only non-ASCII is rejected outright.
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        if (c.unicode() > 0x7f) {
            return std::nullopt;
        }
        ascii.push_back(static_cast<char>(c.unicode()));
    }
    return DecimalBuilder::parse(ascii, false);
}

std::optional<Decimal> Decimal::parseJsonNumber(std::string_view text) noexcept {
    return DecimalBuilder::parse(text, true);
}

std::optional<Decimal> Decimal::fromDouble(double value) noexcept {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    char buf[64];
    // Scientific, because plain format may print a large integer's exact binary digits instead.
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    return DecimalBuilder::parse(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)),
                                 false);
}

std::string Decimal::mantissaString() const {
    char buf[48];
    char* end;
    if ((m_mantissa >> 64) == 0) {
        end = std::to_chars(buf, buf + sizeof buf, static_cast<std::uint64_t>(m_mantissa)).ptr;
    } else {
        const auto hi = static_cast<std::uint64_t>(m_mantissa / kPow10_19);
        const auto lo = static_cast<std::uint64_t>(m_mantissa % kPow10_19);
        end = std::to_chars(buf, buf + sizeof buf, hi).ptr;
        char low[24];
        char* lowEnd = std::to_chars(low, low + sizeof low, lo).ptr;
        const auto lowLen = lowEnd - low;
        end = std::fill_n(end, 19 - lowLen, '0');
        end = std::copy(low, lowEnd, end);
    }
    return std::string(buf, end);
}

int Decimal::significantDigits() const noexcept {
    return digitCount(m_mantissa);
}

std::string Decimal::toString() const {
    const std::string digits = mantissaString();
    std::string out;
    out.reserve(digits.size() + static_cast<std::size_t>(std::abs(m_exponent)) + 3);
    if (m_negative) {
        out.push_back('-');
    }
    const auto len = static_cast<std::int64_t>(digits.size());
    if (m_exponent >= 0) {
        out += digits;
        if (!isZero()) {
            out.append(static_cast<std::size_t>(m_exponent), '0');
        }
    } else if (len > -m_exponent) {
        const auto point = static_cast<std::size_t>(len + m_exponent);
        out.append(digits, 0, point);
        out.push_back('.');
        out.append(digits, point);
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-m_exponent - len), '0');
        out += digits;
    }
    return out;
}

QString Decimal::toQString() const {
    return QString::fromLatin1(toString());
}

double Decimal::toDouble() const noexcept {
    std::string text = mantissaString();
    text += 'e';
    text += std::to_string(m_exponent);
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return m_negative ? -d : d;
}

std::size_t Decimal::hash() const noexcept {
    const auto lo = static_cast<std::uint64_t>(m_mantissa);
    const auto hi = static_cast<std::uint64_t>(m_mantissa >> 64);
    std::size_t h = std::hash<std::uint64_t>{}(lo);
    h ^= std::hash<std::uint64_t>{}(hi) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    const auto tail = static_cast<std::uint64_t>(static_cast<std::uint32_t>(m_exponent)) << 1 |
                      (m_negative ? 1U : 0U);
    h ^= std::hash<std::uint64_t>{}(tail) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

Decimal Decimal::add(const Decimal& a, const Decimal& b, bool negateB) {
    const bool bNegative = negateB ? !b.m_negative : b.m_negative;
    if (b.isZero()) {
        return a;
    }
    if (a.isZero()) {
        Decimal r = b;
        r.m_negative = bNegative;
        return r;
    }
    // x has the larger exponent.
    const bool aIsX = a.m_exponent >= b.m_exponent;
    const Decimal& x = aIsX ? a : b;
    const Decimal& y = aIsX ? b : a;
    const bool xNeg = aIsX ? a.m_negative : bNegative;
    const bool yNeg = aIsX ? bNegative : a.m_negative;
    const std::int64_t d = std::int64_t(x.m_exponent) - y.m_exponent;

    if (d + digitCount(x.m_mantissa) <= kMaxDigits) {
        // Both fit at y's exponent in 128 bits (sum < 2 * 10^38).
        const u128 xs = x.m_mantissa * kPow10[static_cast<std::size_t>(d)];
        const u128 ys = y.m_mantissa;
        if (xNeg == yNeg) {
            return DecimalBuilder::fromExact(xNeg, xs + ys, y.m_exponent);
        }
        return xs >= ys ? DecimalBuilder::fromExact(xNeg, xs - ys, y.m_exponent)
                        : DecimalBuilder::fromExact(yNeg, ys - xs, y.m_exponent);
    }
    if (d <= 39) {
        const u256 xs = toWide(x.m_mantissa) * widePow10()[static_cast<std::size_t>(d)];
        const u256 ys = toWide(y.m_mantissa);
        if (xNeg == yNeg) {
            return DecimalBuilder::fromExact(xNeg, u256(xs + ys), y.m_exponent);
        }
        return xs >= ys ? DecimalBuilder::fromExact(xNeg, u256(xs - ys), y.m_exponent)
                        : DecimalBuilder::fromExact(yNeg, u256(ys - xs), y.m_exponent);
    }
    // The gap is too wide to align exactly. Keep x with 39 extra digits and cut y to that grid:
    // the result then has at least 39 digits, so rounding drops a whole digit and y's lost tail
    // (under one unit) can only matter as a borrow when subtracting.
    const u256 xs = toWide(x.m_mantissa) * widePow10()[39];
    const std::int64_t drop = d - 39;
    u128 ys = 0;
    bool sticky = false;
    if (drop <= kMaxDigits) {
        const u128 p = kPow10[static_cast<std::size_t>(drop)];
        ys = y.m_mantissa / p;
        sticky = y.m_mantissa % p != 0;
    } else {
        sticky = true;
    }
    const std::int64_t e = x.m_exponent - 39;
    if (xNeg == yNeg) {
        return DecimalBuilder::fromExact(xNeg, u256(xs + toWide(ys)), e);
    }
    return DecimalBuilder::fromExact(xNeg, u256(xs - toWide(ys) - (sticky ? 1 : 0)), e);
}

Decimal operator*(const Decimal& a, const Decimal& b) {
    if (a.isZero() || b.isZero()) {
        return Decimal{};
    }
    const bool negative = a.m_negative != b.m_negative;
    const std::int64_t e = std::int64_t(a.m_exponent) + b.m_exponent;
    if ((a.m_mantissa >> 64) == 0 && (b.m_mantissa >> 64) == 0) {
        const Decimal::u128 p = a.m_mantissa * b.m_mantissa;
        return DecimalBuilder::fromExact(negative, p, e);
    }
    return DecimalBuilder::fromExact(negative, u256(toWide(a.m_mantissa) * toWide(b.m_mantissa)),
                                     e);
}

Decimal operator/(const Decimal& a, const Decimal& b) {
    if (b.isZero()) {
        throw std::domain_error("Decimal division by zero");
    }
    if (a.isZero()) {
        return Decimal{};
    }
    // Scale the dividend so the integer quotient has 39 or 40 digits: at least one digit is
    // dropped by rounding, so the remainder (below one unit) cannot affect a half-away decision.
    const int na = digitCount(a.m_mantissa);
    const int nb = digitCount(b.m_mantissa);
    const int s = 39 + nb - na;
    const u256 q =
        (toWide(a.m_mantissa) * widePow10()[static_cast<std::size_t>(s)]) / toWide(b.m_mantissa);
    const std::int64_t e = std::int64_t(a.m_exponent) - b.m_exponent - s;
    return DecimalBuilder::fromExact(a.m_negative != b.m_negative, q, e);
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) noexcept {
    if (a.m_negative != b.m_negative) {
        return a.m_negative ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    std::strong_ordering magnitude = std::strong_ordering::equal;
    if (a.isZero() || b.isZero()) {
        magnitude = a.isZero()
                        ? (b.isZero() ? std::strong_ordering::equal : std::strong_ordering::less)
                        : std::strong_ordering::greater;
    } else {
        const int na = digitCount(a.m_mantissa);
        const int nb = digitCount(b.m_mantissa);
        const std::int64_t adjA = std::int64_t(a.m_exponent) + na;
        const std::int64_t adjB = std::int64_t(b.m_exponent) + nb;
        if (adjA != adjB) {
            magnitude = adjA <=> adjB;
        } else {
            // Same magnitude order: align the shorter mantissa (still below 10^38).
            const Decimal::u128 ma =
                a.m_mantissa * kPow10[static_cast<std::size_t>(std::max(0, nb - na))];
            const Decimal::u128 mb =
                b.m_mantissa * kPow10[static_cast<std::size_t>(std::max(0, na - nb))];
            magnitude = ma <=> mb;
        }
    }
    return a.m_negative ? reversed(magnitude) : magnitude;
}

}  // namespace mintlux
