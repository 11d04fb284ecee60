#include "DecimalTesting.h"
#include "market/Decimal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <QHash>
#include <QString>

#include <boost/multiprecision/cpp_int.hpp>
#include <gtest/gtest.h>

using mintlux::Decimal;

namespace {

using mintlux::test::dec;

// The largest finite value: 38 nines at the top exponent.
const std::string kMaxText = std::string(38, '9') + "e127";

// Sign, mantissa and exponent, e.g. "-375e-3": equal values must agree on all three.
std::string fieldsOf(bool negative, const std::string& mantissa, std::int64_t exponent) {
    return (negative ? "-" : "") + mantissa + "e" + std::to_string(exponent);
}

std::string fieldsOf(const Decimal& d) {
    return fieldsOf(d.isNegative(), d.mantissaString(), d.exponent());
}

// ---------------------------------------------------------------------------------------------
// Parsing and printing

TEST(DecimalText, ParsesToCanonicalTextAndFields) {
    struct Case {
        std::string input, printed, fields;
    };
    const std::string d38 = "12345678901234567890123456789012345678";
    const std::string up = "12345678901234567890123456789012345679";
    const std::string n38(38, '9'), pad21(21, '0'), z22(22, '0');
    const std::vector<Case> cases = {
        {"1.50", "1.5", "15e-1"},
        {"-0", "0", "0e0"},
        {"+0.0", "0", "0e0"},
        {"0.000", "0", "0e0"},
        {"-0e99", "0", "0e0"},
        {"-0.000e-50", "0", "0e0"},
        {"1000", "1000", "1e3"},
        {"1e3", "1000", "1e3"},
        {"-0.375", "-0.375", "-375e-3"},
        {".5", "0.5", "5e-1"},
        {"-.5", "-0.5", "-5e-1"},
        {"5.", "5", "5e0"},
        {"+2.5", "2.5", "25e-1"},
        {"00012.3400", "12.34", "1234e-2"},
        {"1E-3", "0.001", "1e-3"},
        {"-1.5e+2", "-150", "-15e1"},
        {"123.456e1", "1234.56", "123456e-2"},
        {"123456e-3", "123.456", "123456e-3"},
        {"0.0000000001", "0.0000000001", "1e-10"},
        {"1e000000000000000000000000000003", "1000", "1e3"},
        {"1e-000000000000000000000000000003", "0.001", "1e-3"},
        {d38, d38, d38 + "e0"},
        {"-1234567890123456789.0123456789012345678", "-1234567890123456789.0123456789012345678",
         "-12345678901234567890123456789012345678e-19"},
        {"0.00000000000000000000000000000000000123", "0.00000000000000000000000000000000000123",
         "123e-38"},
        {"1e127", "1" + std::string(127, '0'), "1e127"},
        // Above 10^127 the exponent is pinned, so the mantissa keeps trailing zeros.
        {"1e130", "1" + std::string(130, '0'), "1000e127"},
        {"1.5e130", "15" + std::string(129, '0'), "1500e127"},
        {"1e164", "1" + std::string(164, '0'), "1" + std::string(37, '0') + "e127"},
        {kMaxText, std::string(38, '9') + std::string(127, '0'), kMaxText},
        {"1e-128", "0." + std::string(127, '0') + "1", "1e-128"},
        {"-2.5e-127", "-0." + std::string(126, '0') + "25", "-25e-128"},
        {std::string(300, '0') + "7", "7", "7e0"},
        {"0." + std::string(100, '0') + "7", "0." + std::string(100, '0') + "7", "7e-101"},
        // Past 38 significant digits the 39th alone decides, halves away from zero.
        {d38 + "5" + pad21, up + z22, up + "e22"},
        {"-" + d38 + "5" + pad21, "-" + up + z22, "-" + up + "e22"},
        {d38 + "4" + std::string(21, '9'), d38 + z22, d38 + "e22"},
        {"-" + d38 + "4" + std::string(21, '9'), "-" + d38 + z22, "-" + d38 + "e22"},
        {d38 + "0" + std::string(20, '0') + "1", d38 + z22, d38 + "e22"},
        {"0." + d38 + "5" + pad21, "0." + up, up + "e-38"},
        {"0.000" + d38 + "5" + pad21, "0.000" + up, up + "e-41"},
        {d38 + ".5" + pad21, up, up + "e0"},
        {d38 + ".49" + pad21, d38, d38 + "e0"},
        // Leading zeros are not significant digits.
        {std::string(30, '0') + d38 + "5", up + "0", up + "e1"},
        // The carry adds a digit.
        {n38 + "5", "1" + std::string(39, '0'), "1e39"},
        {"-" + n38 + "5" + pad21, "-1" + std::string(60, '0'), "-1e60"},
        {"0." + n38 + "5", "1", "1e0"},
        {n38 + "4" + std::string(21, '9'), n38 + z22, n38 + "e22"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto d = Decimal::parse(c.input);
        ASSERT_TRUE(d.has_value());
        EXPECT_EQ(d->toString(), c.printed);
        EXPECT_EQ(d->toQString(), QString::fromLatin1(c.printed));
        EXPECT_EQ(Decimal::parse(QString::fromLatin1(c.input)), d);
        EXPECT_EQ(fieldsOf(*d), c.fields);
        EXPECT_EQ(d->significantDigits(), static_cast<int>(d->mantissaString().size()));
        // Printed text must read back as the same value.
        EXPECT_EQ(Decimal::parse(d->toString()), d);
    }
}

TEST(DecimalText, RejectsMalformedText) {
    std::vector<std::string> cases = {
        "",      "-",    "+",   ".",   "-.",    "+-1",   "--1",      "1.2.3", "1..2", " 1", "1 ",
        "1 000", "1e",   "1e+", "1e-", "1e++1", "1e1.5", "e5",       ".e5",   "abc",  "1a", "1,5",
        "1_000", "0x10", "1f",  "1d",  "inf",   "-inf",  "Infinity", "nan",   "NaN"};
    // Arabic-Indic "12", and NULs before or after a digit.
    cases.insert(cases.end(),
                 {"\xd9\xa1\xd9\xa2", std::string("1\0", 2), std::string(1, '\0') + "1"});
    // Characters whose low byte is an ASCII digit or sign, alone or after a digit: U+0131,
    // U+0231, U+0660, U+0661, fullwidth "1", U+012E, U+012D.
    for (const std::string impostor :
         {"\xc4\xb1", "\xc8\xb1", "\xd9\xa0", "\xd9\xa1", "\xef\xbc\x91", "\xc4\xae", "\xc4\xad"}) {
        cases.push_back(impostor);
        cases.push_back("1" + impostor);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        EXPECT_FALSE(Decimal::parse(c).has_value());
        EXPECT_FALSE(Decimal::parseJsonNumber(c).has_value());
        EXPECT_FALSE(Decimal::parse(QString::fromUtf8(c.data(), static_cast<qsizetype>(c.size())))
                         .has_value());
    }
}

TEST(DecimalText, JsonGrammarIsStricter) {
    // Texts only the plain grammar takes; both take the others, to the same value.
    for (const char* text : {"+1", "01", "00", "-01", "00.5", ".5", "-.5", "5.", "1.e3"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(Decimal::parse(text).has_value());
        EXPECT_FALSE(Decimal::parseJsonNumber(text).has_value());
    }
    for (const char* text : {"0", "-0", "-0.0", "10", "0.5e-3", "1E+2", "1e05", "-12.5E-1"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(Decimal::parse(text).has_value());
        EXPECT_EQ(Decimal::parseJsonNumber(text), Decimal::parse(text));
    }
}

TEST(DecimalText, ExponentRange) {
    const std::string tiny = "0." + std::string(127, '0') + "1";
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"1e400", std::nullopt},
        {"-1e400", std::nullopt},
        {"1e165", std::nullopt},
        {"1" + std::string(165, '0'), std::nullopt},
        {"1e100000000000000000000000000000", std::nullopt},
        // Rounding to 38 digits carries past the largest value.
        {std::string(38, '9') + "5e126", std::nullopt},
        {std::string(38, '9') + "4e126", std::string(38, '9') + std::string(127, '0')},
        {"1e-400", "0"},
        {"-1e-400", "0"},
        {"1e-100000000000000000000000000000", "0"},
        {"0e100000000000000000000000000000", "0"},
        // Exponent texts that wrap a 64-bit accumulator to small values.
        {"1e18446744073709551616", std::nullopt},
        {"1e18446744073709551619", std::nullopt},
        {"1e-18446744073709551617", "0"},
        {"1e9223372036854775808", std::nullopt},
        {"1e-9223372036854775808", "0"},
        {"1e-129", "0"},
        {"4.9e-129", "0"},
        {"5e-129", tiny},
        {"-5e-129", "-" + tiny},
        {"1.4e-128", tiny},
        {"1.5e-128", "0." + std::string(127, '0') + "2"},
        // One rounding, at the 10^-128 place: a first rounding to 38 digits would reach the half.
        {"4" + std::string(38, '9') + "5e-168", "0"},
        {"-4" + std::string(38, '9') + "5e-168", "0"},
        {"14" + std::string(37, '9') + "5e-167", tiny},
        {"0." + std::string(128, '0') + "4" + std::string(38, '9') + "5", "0"}};
    for (const auto& [input, printed] : cases) {
        SCOPED_TRACE(input);
        const auto d = Decimal::parse(input);
        EXPECT_EQ(d ? std::optional(d->toString()) : std::nullopt, printed);
        // Every input here is also a JSON number.
        EXPECT_EQ(Decimal::parseJsonNumber(input), d);
    }
}

// ---------------------------------------------------------------------------------------------
// Equality, ordering, hashing

TEST(DecimalCompare, TotalOrderAndEqualSpellingsHashAlike) {
    // Ascending, spellings of one value joined by '='; covers both signs, zero, short and long
    // mantissas and equal adjusted exponents.
    std::istringstream ascending(
        "-99999999999999999999999999999999999999e127 -1e130 -1e127 -1000 -999.9 -123.5 -123.45 "
        "-100 -2.50=-2.5 -1.5 -1.25 -1 -0.5 -0.05 -0.0101 -1e-128 0=-0.000=0e-200 1e-128 2e-128 "
        "7e-128=70e-129 1e-127 0.0101 0.05 0.1 0.9999 0.99999999999999999999999999999999999999 1 "
        "1.0000000000000000000000000000000000001 1.25 1.5=1.50=15e-1 9.99 10 99 100 123.45 123.5 "
        "1500=1.5e3 12345678901234567890123456789012345678 1e127 1.5e127 1e130=1000e127=0.001e133 "
        "1.01e130 99999999999999999999999999999999999999e127");
    std::vector<std::pair<Decimal, std::size_t>> values;  // with their rank
    std::size_t rank = 0;
    for (std::string spellings; ascending >> spellings; ++rank) {
        std::istringstream in(spellings);
        for (std::string t; std::getline(in, t, '=');) {
            values.emplace_back(dec(t), rank);
        }
    }
    ASSERT_EQ(rank, 43u);
    for (const auto& [a, i] : values) {
        for (const auto& [b, j] : values) {
            SCOPED_TRACE(a.toString() + " vs " + b.toString());
            EXPECT_EQ(a <=> b, i <=> j);
            EXPECT_EQ(a == b, i == j);
            if (i == j) {
                EXPECT_EQ(a.hash(), b.hash());
                EXPECT_EQ(std::hash<Decimal>{}(a), std::hash<Decimal>{}(b));
                EXPECT_EQ(qHash(a, 17), qHash(b, 17));
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Arithmetic, against an unbounded integer oracle

namespace mp = boost::multiprecision;
using Big = mp::cpp_int;

Big pow10(std::int64_t k) {
    return mp::pow(Big(10), static_cast<unsigned>(k));
}

std::int64_t digitsOf(const Big& v) {
    return static_cast<std::int64_t>(v.str().size());
}

// Rounds (num / den) * 10^e, num and den positive, the long way: find the leading digit's place,
// keep 38 digits or stop at the 10^-128 place, whichever is coarser, and decide by the exact
// remainder. The result as fieldsOf() writes it, or "overflow".
std::string roundExact(bool negative, const Big& num, const Big& den, std::int64_t e) {
    if (num == 0) {
        return "0e0";
    }
    auto atLeastPow10 = [&](std::int64_t p) {
        const std::int64_t k = e - p;
        return k >= 0 ? num * pow10(k) >= den : num >= den * pow10(-k);
    };
    std::int64_t lead = e + digitsOf(num) - digitsOf(den);
    if (!atLeastPow10(lead)) {
        --lead;
    }
    std::int64_t place =
        std::max<std::int64_t>(lead - (Decimal::kMaxDigits - 1), Decimal::kMinExponent);
    Big n = num;
    Big d = den;
    if (e >= place) {
        n *= pow10(e - place);
    } else {
        d *= pow10(place - e);
    }
    Big q = n / d;
    const Big r = n - q * d;
    if (2 * r >= d) {
        ++q;
    }
    if (q == 0) {
        return "0e0";
    }
    while (place < Decimal::kMaxExponent && q % 10 == 0) {
        q /= 10;
        ++place;
    }
    while (place > Decimal::kMaxExponent) {
        q *= 10;
        --place;
    }
    if (q >= pow10(Decimal::kMaxDigits)) {
        return "overflow";
    }
    return fieldsOf(negative, q.str(), place);
}

std::string oracle(char op, const Decimal& a, const Decimal& b) {
    const Big ma(a.mantissaString());
    const Big mb(b.mantissaString());
    const std::int64_t ea = a.exponent();
    const std::int64_t eb = b.exponent();
    switch (op) {
        case '+':
        case '-': {
            const std::int64_t low = std::min(ea, eb);
            Big x = ma * pow10(ea - low);
            Big y = mb * pow10(eb - low);
            if (a.isNegative()) {
                x = -x;
            }
            if (b.isNegative() != (op == '-')) {
                y = -y;
            }
            const Big sum = x + y;
            return roundExact(sum < 0, abs(sum), Big(1), low);
        }
        case '*':
            return roundExact(a.isNegative() != b.isNegative(), ma * mb, Big(1), ea + eb);
        default:
            return roundExact(a.isNegative() != b.isNegative(), ma, mb, ea - eb);
    }
}

// What the type computes for a op b, op one of '+', '-', '*', '/'.
std::string observe(char op, const Decimal& a, const Decimal& b) {
    try {
        return fieldsOf(op == '+' ? a + b : op == '-' ? a - b : op == '*' ? a * b : a / b);
    } catch (const std::overflow_error&) {
        return "overflow";
    }
}

// All four operations on a and b against the oracle; returns how many disagree.
int disagreements(const Decimal& a, const Decimal& b) {
    int failures = 0;
    for (char op : {'+', '-', '*', '/'}) {
        if (op == '/' && b.isZero()) {
            continue;
        }
        const std::string expected = oracle(op, a, b);
        const std::string actual = observe(op, a, b);
        if (actual != expected) {
            ++failures;
            ADD_FAILURE() << a.toString() << ' ' << op << ' ' << b.toString() << "\n  expected "
                          << expected << "\n  actual   " << actual;
        }
    }
    return failures;
}

class RandomDecimals {
public:
    explicit RandomDecimals(std::uint64_t seed) : m_rng(seed) {}

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    // Besides uniform digits, shapes like d999..9, d00..0d, one or two digits and runs of 4, 5
    // and 9: their products and quotients carry, end in exact halves or stop just short of them.
    std::string mantissa(int shape) {
        std::string s(1, static_cast<char>('1' + uniform(0, 8)));
        auto fill = [&](int n, std::string_view alphabet) {
            while (static_cast<int>(s.size()) < n) {
                s.push_back(alphabet[static_cast<std::size_t>(
                    uniform(0, static_cast<int>(alphabet.size()) - 1))]);
            }
        };
        switch (shape < 0 ? uniform(0, 5) : shape) {
            case 0:
            case 1:
                fill(uniform(1, Decimal::kMaxDigits), "0123456789");
                break;
            case 2:
                fill(uniform(0, 3) ? Decimal::kMaxDigits : uniform(2, 37), "9");
                break;
            case 3:
                fill(uniform(1, 2), "0123456789");
                break;
            case 4:
                fill(uniform(2, Decimal::kMaxDigits) - 1, "0");
                fill(static_cast<int>(s.size()) + 1, "123456789");
                break;
            default:
                fill(uniform(1, Decimal::kMaxDigits), "459");
                break;
        }
        return s;
    }

    // A value whose leading digit sits at 10^lead.
    Decimal make(int lead, int shape = -1) {
        if (uniform(0, 60) == 0) {
            return Decimal{};
        }
        const std::string digits = mantissa(shape);
        const int exponent = lead - static_cast<int>(digits.size()) + 1;
        return dec((uniform(0, 1) ? "-" : "") + digits + "e" + std::to_string(exponent));
    }

    std::pair<Decimal, Decimal> pair() {
        const int lead = uniform(-90, -40);
        // Near the exponent limits, often d99..9 against one or two digits.
        const bool nines = uniform(0, 1) == 1;
        const int first = nines ? kNines : -1;
        const int second = nines ? kShort : -1;
        switch (uniform(0, 6)) {
            case 0:  // price-like magnitudes
                return {make(uniform(-8, 6)), make(uniform(-8, 6))};
            case 1: {  // exponents any distance apart
                const int la = uniform(-91, 164);
                const int lb = std::max(la - uniform(0, 255), -91);
                return uniform(0, 1) ? std::pair{make(la), make(lb)}
                                     : std::pair{make(lb), make(la)};
            }
            case 2:  // product around the 10^-128 place
                return {make(lead, first), make(-128 - lead + uniform(-2, 0), second)};
            case 3:  // quotient around the 10^-128 place
                return {make(lead, first), make(lead + 128 + uniform(0, 2), second)};
            case 4:  // product around the largest value
                return {make(lead + 170, first), make(164 - lead - 170 + uniform(-1, 0), second)};
            case 5:  // quotient around the largest value
                return {make(lead + 150, first), make(lead - 14 + uniform(-1, 0), second)};
            default:
                return {make(uniform(-91, 164)), make(uniform(-91, 164))};
        }
    }

private:
    static constexpr int kNines = 2;
    static constexpr int kShort = 3;
    std::mt19937_64 m_rng;
};

// Every pair with like and unlike signs through all four operations, the oracle deciding: exact
// results, halves (away from zero), cancellation, exponent gaps too wide to align, 39-digit
// products of 64-bit mantissas, results at the exponent ceiling (overflow included) and floor (one
// rounding, at 10^-128).
TEST(DecimalArithmetic, EdgePairsMatchTheOracle) {
    const std::string n38 = std::string(38, '9'), p37 = "1" + std::string(36, '0') + "1";
    // "a b" pairs, separated by semicolons.
    const std::string pairs =
        "0.1 0.2; 2034.56 31.1034768; 1 3; 2 3; 22 7; 1 8; 1e100 3; 0.5 -4; 1.25 0.8;"
        "1000 0.001; 10000000000000000000000000000000000001 0.5;"
        "10000000000000000000000000000000000001 0.49; 33333333333333333333333333333333333335 3;"
        "-33333333333333333333333333333333333335 -0.3; 98765432109876543210987654321098765431 2;"
        "-98765432109876543210987654321098765431 -20; 1 5e-38; 1 5e-39;"
        "1 4.9999999999999999999999999999999999999e-38;"
        "1 4.9999999999999999999999999999999999999e-39;"
        "1.0000000000000000000000000000000000001 1; 1 0.99999999999999999999999999999999999999;"
        "12345678901234567890123456789012345678 12345678901234567890123456789012345677;"
        "0.12345678901234567890123456789012345678 0.12345678901234567890123456789012345679;"
        "12345678901234567890123456789012345678e90 1.2345678901234567890123456789012345677e127;"
        "-5.5 5.5;"
        "99999999999999999999999999999999999999e127 99999999999999999999999999999999999999e127;"
        "1e-128 1e-128; 0 2.5; 1 1.2345678901234567890123456789012345678e-3; 1e100 1e-100;"
        "1e127 1e-128; 1 5.000000000000000000000000000000000001e-38;"
        "1 5.000000000000000000000000000000000001e-39; 1 1e-60;"
        "90000000000000000000000000000000000001 5e-128;"
        "99999999999999999999999999999999999999 99999999999999999999999999999999999999;"
        "12345678901234567890123456789012345678 87654321098765432109876543210987654321;"
        "18446744073709551615 18446744073709551615; -18446744073709551615 18446744073709551616;"
        "0.99999999999999999999999999999999999999 0.99999999999999999999999999999999999999;"
        "99999999999999999999999999999999999999 0.99999999999999999999999999999999999999;"
        "1e127 1e-37; 1e127 1e37; 99999999999999999999999999999999999999e127 1;"
        "99999999999999999999999999999999999999e127 4e126;"
        "99999999999999999999999999999999999999e127 1e127;"
        "5e164 49999999999999999999999999999999999999e127; 1.5e130 2;"
        "99999999999999999999999999999999999999e127 10;"
        "99999999999999999999999999999999999999e127 1.0000000000000000000000000000000000001;"
        "99999999999999999999999999999999999999e127 5e126; 1e127 1e-38; -1e127 1e38;"
        "99999999999999999999999999999999999999e127 0.99999999999999999999999999999999999999;"
        "1e-128 2; 1e-128 -2.0000000000000000000000000000000000001; 2e-128 3; 3e-128 2;"
        "1e-128 1e10; 1e-100 1e-100; 5e-65 1e-64; 4.9e-65 1e-64; 1.25e-64 1e-64; 1.5e-64 -1e-64;"
        "1e-128 0.1; 123456789e-128 1e8; 5e-65 9.9999999999999999999999999999999999999e-65;"
        "5e-65 2.9999999999999999999999999999999999999e-64;"
        "9.9999999999999999999999999999999999999e-91 2e38;"
        "2.9999999999999999999999999999999999999e-91 2e37";
    std::istringstream in(pairs);
    int checked = 0;
    for (std::string x, y; std::getline(in >> std::ws, x, ' ') && std::getline(in, y, ';');) {
        ++checked;
        // Like and unlike signs, both ways round; negating both only negates the results.
        for (const Decimal& a : {dec(x), -dec(x)}) {
            disagreements(a, dec(y));
            disagreements(dec(y), a);
        }
    }
    EXPECT_EQ(checked, 71);
    // The oracle itself, on results worked out by hand.
    EXPECT_EQ(dec("2") / dec("3"), dec("0." + std::string(37, '6') + "7"));
    EXPECT_EQ(dec("-" + p37) - dec("0.5"), dec("-1" + std::string(36, '0') + "2"));
    EXPECT_EQ(dec(n38) * dec(n38), dec(std::string(37, '9') + "8e38"));
    EXPECT_EQ(dec("3e-128") / Decimal(2), dec("2e-128"));
    EXPECT_EQ(dec("5e-65") * dec("9." + std::string(37, '9') + "e-65"), Decimal{});
    EXPECT_EQ(observe('*', dec(kMaxText), Decimal(10)), "overflow");
}

TEST(DecimalArithmetic, NegationCompoundAssignmentAndFailures) {
    EXPECT_EQ(-dec("2.5"), dec("-2.5"));
    Decimal sum = dec("0.1");
    sum += dec("0.2");
    EXPECT_EQ(sum, dec("0.3"));
    Decimal x = dec("-0.75");
    x -= dec("-0.75");
    EXPECT_FALSE(x.isNegative() || (-Decimal{}).isNegative());
    // A failed operation leaves the operand unchanged.
    const Decimal max = dec(kMaxText);
    Decimal acc = max;
    EXPECT_THROW(acc *= Decimal(2), std::overflow_error);
    EXPECT_EQ(acc, max);
    EXPECT_THROW(Decimal(0) / Decimal(0), std::domain_error);
    EXPECT_THROW(dec("1e-128") / dec("-0.000"), std::domain_error);
    Decimal y = dec("2.5");
    EXPECT_THROW(y /= Decimal{}, std::domain_error);
    EXPECT_EQ(y, dec("2.5"));
}

TEST(DecimalArithmetic, IntegerConstruction) {
    // From every width and signedness, in canonical form (so no negative zero).
    const auto check = [](auto value) {
        const std::string printed = std::to_string(value);
        SCOPED_TRACE(printed);
        const Decimal d(value);
        EXPECT_EQ(d.toString(), printed);
        EXPECT_EQ(fieldsOf(d), fieldsOf(dec(printed)));
    };
    std::apply([&](auto... values) { (check(values), ...); },
               std::tuple{0, 1, -1, 1000, -120, std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::int64_t>::max(),
                          std::numeric_limits<std::uint64_t>::max(), 10'000'000'000'000'000'000ULL,
                          std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int8_t>::min(),
                          std::numeric_limits<std::uint8_t>::max(),
                          std::numeric_limits<std::int16_t>::min()});
}

TEST(DecimalDifferential, MatchesUnboundedOracle) {
    RandomDecimals gen(0x6d696e746c7578ULL);
    int failures = 0;
    for (int i = 0; i < 2500 && failures < 10; ++i) {
        const auto [a, b] = gen.pair();
        failures += disagreements(a, b);
    }
}

// ---------------------------------------------------------------------------------------------
// Conversions to and from double

TEST(DecimalDouble, ToDoubleIsNearest) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"0", 0.0},
        {"0.1", 0.1},
        {"2034.56", 2034.56},
        {"-0.375", -0.375},
        {"1e-128", 1e-128},
        {"-1e127", -1e127},
        {kMaxText, 1e165},
        {"123456789012345678901234567890.12345678", 123456789012345678901234567890.12345678},
        {"0.30000000000000000000000000000000000001", 0.3},
        {"9007199254740993", 9007199254740992.0},  // halfway between doubles: ties to even
        {"9007199254740995", 9007199254740996.0}};
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        const double d = dec(text).toDouble();
        EXPECT_EQ(d, value);
        EXPECT_EQ(std::signbit(d), std::signbit(value));
    }
}

TEST(DecimalDouble, FromDoubleIsShortest) {
    const std::vector<std::pair<double, std::optional<std::string>>> cases = {
        {0.1, "0.1"},
        {1e-7, "0.0000001"},
        {-2034.56, "-2034.56"},
        {31.1034768, "31.1034768"},
        {0.0, "0"},
        {-0.0, "0"},
        {1.0 / 3.0, "0.3333333333333333"},
        {1e22, "1" + std::string(22, '0')},
        {123456789.0, "123456789"},
        // Shortest digits, not the binary value's exact expansion.
        {18446744073709551616.0, "18446744073709552000"},
        {0x1p70, "1180591620717411300000"},
        {5e-324, "0"},
        {1e300, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {-std::numeric_limits<double>::infinity(), std::nullopt}};
    for (const auto& [value, printed] : cases) {
        SCOPED_TRACE(value);
        const auto d = Decimal::fromDouble(value);
        EXPECT_EQ(d ? std::optional(d->toString()) : std::nullopt, printed);
    }
}

TEST(DecimalDouble, RoundTripsThroughDouble) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    // Far enough above 10^-128 that the grid there cannot cost a double's digits.
    std::uniform_int_distribution<int> exponent(-90, 120);
    for (int i = 0; i < 500; ++i) {
        const double v = (i % 2 ? -1 : 1) * mantissa(rng) * std::pow(10.0, exponent(rng));
        SCOPED_TRACE(v);
        const auto d = Decimal::fromDouble(v);
        ASSERT_TRUE(d.has_value());
        EXPECT_EQ(d->toDouble(), v);
        EXPECT_LE(d->significantDigits(), 17);
    }
}

}  // namespace
