#include "DecimalTesting.h"
#include "json/DecodingError.h"
#include "market/Decimal.h"
#include "pricing/WireDecoder.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

namespace mintlux {
// Readable failure messages instead of raw bytes.
static void PrintTo(const LatestPricesResponse& r, std::ostream* os) {
    *os << r.toJson().toStdString();
}
static void PrintTo(const HistoryResponse& r, std::ostream* os) {
    *os << r.toJson().toStdString();
}
}  // namespace mintlux

namespace {

using namespace mintlux;
using namespace std::chrono;
using Kind = DecodingError::Kind;

std::string_view nameOf(Kind kind) {
    switch (kind) {
        case Kind::keyNotFound:
            return "keyNotFound";
        case Kind::valueNotFound:
            return "valueNotFound";
        case Kind::typeMismatch:
            return "typeMismatch";
        case Kind::dataCorrupted:
            return "dataCorrupted";
    }
    return "?";
}

// Both are minimal: every key present once, nothing extra.
constexpr std::string_view kLatest =
    R"({"currency":"USD","as_of":"2025-01-31T14:05:09Z","stale":false,)"
    R"("prices":{"XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1}}})";
constexpr std::string_view kHistory =
    R"({"series":"XAU","currency":"USD","unit":"oz","range":"1y","points":[)"
    R"({"t":"2024-01-01T00:00:00Z","v":2034.56},{"t":"2024-01-02T00:00:00Z","v":2041.1}]})";

QByteArrayView bytesOf(std::string_view text) {
    return {text.data(), static_cast<qsizetype>(text.size())};
}

// `base` with its only occurrence of `from` replaced by `to`.
std::string with(std::string_view base, std::string_view from, std::string_view to) {
    std::string out(base);
    const std::size_t at = out.find(from);
    if (at == std::string::npos || out.find(from, at + 1) != std::string::npos) {
        ADD_FAILURE() << "test fixture: \"" << from << "\" is not in the document exactly once";
        return out;
    }
    out.replace(at, from.size(), to);
    return out;
}

using mintlux::test::dec;

Instant utc(int y, unsigned mo, unsigned d, int h, int mi, int s, nanoseconds ns = {}) {
    return sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s} + ns;
}

template <WireRecord T>
std::optional<T> decodeOk(std::string_view text) {
    WireDecoder decoder;
    try {
        return decoder.decode<T>(bytesOf(text));
    } catch (const DecodingError& e) {
        ADD_FAILURE() << "unexpected " << nameOf(e.kind()) << " at '" << e.codingPath()
                      << "': " << e.what() << "\n  in " << text;
        return std::nullopt;
    }
}

template <WireRecord T>
std::optional<DecodingError> decodeError(std::string_view text) {
    WireDecoder decoder;
    try {
        const T r = decoder.decode<T>(bytesOf(text));
        ADD_FAILURE() << "decoded, should have failed: " << r.toJson().toStdString() << "\n  from "
                      << text;
    } catch (const DecodingError& e) {
        return e;
    }
    return std::nullopt;
}

struct Failure {
    std::string document;
    Kind kind;
    std::string path;
};

template <WireRecord T>
void expectFailures(const std::vector<Failure>& cases) {
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.document.substr(0, 200));
        if (const auto e = decodeError<T>(c.document)) {
            EXPECT_EQ(nameOf(e->kind()), nameOf(c.kind)) << e->what();
            EXPECT_EQ(e->codingPath(), c.path) << e->what();
        }
    }
}

template <WireRecord T>
void expectAllCorrupted(const std::vector<std::string>& documents) {
    for (const std::string& doc : documents) {
        SCOPED_TRACE(doc.substr(0, 200));
        if (const auto e = decodeError<T>(doc)) {
            EXPECT_EQ(nameOf(e->kind()), nameOf(Kind::dataCorrupted)) << e->what();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Documents that decode

TEST(WireDecoderAccepts, LatestPricesWithEveryField) {
    const auto r = decodeOk<LatestPricesResponse>(
        R"({"currency":"USD","as_of":"2025-01-31T14:05:09.250Z","stale":true,"prices":{)"
        R"("XAU":{"value":2034.56,"unit":"oz","prev_close":2030.10},)"
        R"("XAG":{"value":32.50,"unit":"oz","prev_close":null},)"
        R"("XPT":{"value":951,"unit":"g"}}})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->currency, "USD");
    EXPECT_EQ(r->asOf, utc(2025, 1, 31, 14, 5, 9, milliseconds{250}));
    EXPECT_TRUE(r->stale);
    ASSERT_EQ(r->prices.size(), 3U);
    const auto& xau = r->prices.at("XAU");
    EXPECT_EQ(xau.value.toString(), "2034.56");
    EXPECT_EQ(xau.unit, "oz");
    EXPECT_EQ(xau.prevClose, dec("2030.1"));
    const auto& xag = r->prices.at("XAG");
    EXPECT_EQ(xag.value, dec("32.5"));
    EXPECT_EQ(xag.prevClose, std::nullopt);
    EXPECT_EQ(r->prices.at("XPT").value, Decimal(951));
    EXPECT_EQ(r->prices.at("XPT").unit, "g");
}

TEST(WireDecoderAccepts, HistoryWithEveryPointInOrder) {
    const auto r = decodeOk<HistoryResponse>(kHistory);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->series, "XAU");
    EXPECT_EQ(r->currency, "USD");
    EXPECT_EQ(r->unit, "oz");
    EXPECT_EQ(r->range, "1y");
    const std::vector<HistoryResponse::HistoryPoint> expected{
        {utc(2024, 1, 1, 0, 0, 0), dec("2034.56")},
        {utc(2024, 1, 2, 0, 0, 0), dec("2041.1")},
    };
    EXPECT_EQ(r->points, expected);
}

TEST(WireDecoderAccepts, EmptyPricesAndEmptyPoints) {
    const auto latest = decodeOk<LatestPricesResponse>(
        with(kLatest, R"({"XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1}})", "{ }"));
    ASSERT_TRUE(latest);
    EXPECT_TRUE(latest->prices.empty());
    EXPECT_EQ(latest->currency, "USD");

    const auto history = decodeOk<HistoryResponse>(
        R"({"series":"XAG","currency":"EUR","unit":"g","range":"1d","points":[ ]})");
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->points.empty());
    EXPECT_EQ(history->range, "1d");
}

TEST(WireDecoderAccepts, PrevCloseAbsentOrNullMeansNone) {
    struct Case {
        const char* entry;
        std::optional<Decimal> prevClose;
    };
    const Case cases[] = {
        {R"({"value":1,"unit":"oz"})", std::nullopt},
        {R"({"value":1,"unit":"oz","prev_close":null})", std::nullopt},
        {R"({"prev_close":null,"value":1,"unit":"oz"})", std::nullopt},
        // Zero is a price, not an absence.
        {R"({"value":1,"unit":"oz","prev_close":0})", Decimal(0)},
        {R"({"value":1,"unit":"oz","prev_close":-1.25})", dec("-1.25")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const auto r = decodeOk<LatestPricesResponse>(
            with(kLatest, R"({"value":2034.56,"unit":"oz","prev_close":2030.1})", c.entry));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->prices.at("XAU").prevClose, c.prevClose);
    }
}

TEST(WireDecoderAccepts, NumbersDigitForDigit) {
    struct Case {
        const char* token;
        const char* decimal;  // canonical text
        const char* mantissa;
        int exponent;
    };
    const Case cases[] = {
        {"32.50", "32.5", "325", -1},
        {"2034.56", "2034.56", "203456", -2},
        // Binary floating point cannot hold these; a trip through double would show.
        {"0.1", "0.1", "1", -1},
        {"9007199254740993", "9007199254740993", "9007199254740993", 0},
        {"-0", "0", "0", 0},
        {"-0.0e5", "0", "0", 0},
        {"1E2", "100", "1", 2},
        {"-1.5e-3", "-0.0015", "15", -4},
        {"25e+1", "250", "25", 1},
        // 38 significant digits, halves away from zero.
        {"123456789012345678901234567890123456789012345678901234567890",
         "123456789012345678901234567890123456790000000000000000000000",
         "12345678901234567890123456789012345679", 22},
        {"0.123456789012345678901234567890123456784999999999999999999999",
         "0.12345678901234567890123456789012345678", "12345678901234567890123456789012345678", -38},
        {"999999999999999999999999999999999999999999999999999999999999",
         "1000000000000000000000000000000000000000000000000000000000000", "1", 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        const auto r = decodeOk<HistoryResponse>(with(kHistory, "2041.1", c.token));
        ASSERT_TRUE(r);
        const Decimal& v = r->points.at(1).v;
        EXPECT_EQ(v.toString(), c.decimal);
        EXPECT_EQ(v.mantissaString(), c.mantissa);
        EXPECT_EQ(v.exponent(), c.exponent);
        EXPECT_FALSE(v.isNegative() && v.isZero());
    }
}

TEST(WireDecoderAccepts, TextIsKeptCharacterForCharacter) {
    struct Case {
        const char* json;  // a JSON string literal, quotes included
        QString text;
    };
    const Case cases[] = {
        {R"("US\u0044")", "USD"},
        {R"("\"oz\"\\\/")", R"("oz"\/)"},
        {R"("oz\\")", R"(oz\)"},
        {R"("")", ""},
        {R"("a\u0000b")", QString("a") + QChar(0) + "b"},
        {R"("tab\there\nline")", "tab\there\nline"},
        {"\"\xE9\x87\x91\"", QString(QChar(0x91D1))},
        {R"("\ud83e\udd47")", QString::fromUtf8("\xF0\x9F\xA5\x87")},
        // A leading U+FEFF is a character of the text, escaped or not, not a byte order mark.
        {R"("\ufeffUSD")", QChar(0xFEFF) + QString("USD")},
        {"\"\xEF\xBB\xBFUSD\"", QChar(0xFEFF) + QString("USD")},
        {"\"\xEF\xBB\xBF\xEF\xBB\xBF\"", QString(2, QChar(0xFEFF))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const auto latest = decodeOk<LatestPricesResponse>(
            with(with(kLatest, R"("USD")", c.json), R"("oz")", c.json));
        ASSERT_TRUE(latest);
        EXPECT_EQ(latest->currency, c.text);
        EXPECT_EQ(latest->prices.at("XAU").unit, c.text);
        // Metal codes are text too, whatever they spell.
        const auto coded = decodeOk<LatestPricesResponse>(with(kLatest, R"("XAU")", c.json));
        ASSERT_TRUE(coded);
        ASSERT_EQ(coded->prices.size(), 1U);
        EXPECT_EQ(coded->prices.begin()->first, c.text);
        const auto history = decodeOk<HistoryResponse>(with(kHistory, R"("1y")", c.json));
        ASSERT_TRUE(history);
        EXPECT_EQ(history->range, c.text);
    }
}

TEST(WireDecoderAccepts, KeysMatchAfterUnescapingAndInAnyOrder) {
    const auto escaped = decodeOk<LatestPricesResponse>(
        with(kLatest, R"("value":2034.56)", R"("\u0076alue":2034.56)"));
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->prices.at("XAU").value, dec("2034.56"));

    const auto shuffled = decodeOk<LatestPricesResponse>(
        R"({"prices":{"XAU":{"prev_close":2030.1,"unit":"oz","value":2034.56}},)"
        R"("stale":false,"as_of":"2025-01-31T14:05:09Z","currency":"USD"})");
    const auto plain = decodeOk<LatestPricesResponse>(kLatest);
    ASSERT_TRUE(shuffled && plain);
    EXPECT_EQ(*shuffled, *plain);

    const auto points = decodeOk<HistoryResponse>(
        R"({"points":[{"v":2034.56,"t":"2024-01-01T00:00:00Z"},)"
        R"({"v":2041.1,"t":"2024-01-02T00:00:00Z"}],"range":"1y","unit":"oz",)"
        R"("currency":"USD","series":"XAU"})");
    const auto history = decodeOk<HistoryResponse>(kHistory);
    ASSERT_TRUE(points && history);
    EXPECT_EQ(*points, *history);
}

TEST(WireDecoderAccepts, UnknownKeysAreSkippedAtEveryLevel) {
    // Near the depth limit, but under it: real documents may carry structured extras.
    const std::string nested = std::string(55, '[') + "{}" + std::string(55, ']');
    const std::string junk = R"({"a":[1,-2.5e-3,true,false,null,"s",{"b":{}}],"c":)" + nested +
                             R"(,"d":1e999,"\u00e9t\u00e9":"\ud83d\ude00","":0})";
    const auto latest = decodeOk<LatestPricesResponse>(
        with(with(with(kLatest, R"("stale":false)", R"("stale":false,"extra":)" + junk),
                  R"("unit":"oz")", R"("unit":"oz","source":)" + junk),
             "{\"currency\"", "{\"\xC3\xA9\":1,\"currency\""));
    const auto plain = decodeOk<LatestPricesResponse>(kLatest);
    ASSERT_TRUE(latest && plain);
    EXPECT_EQ(*latest, *plain);

    const auto history = decodeOk<HistoryResponse>(
        with(with(kHistory, R"("range":"1y")", R"("range":"1y","x":)" + junk), R"("v":2034.56)",
             R"("v":2034.56,"w":)" + junk));
    const auto plainHistory = decodeOk<HistoryResponse>(kHistory);
    ASSERT_TRUE(history && plainHistory);
    EXPECT_EQ(*history, *plainHistory);
}

TEST(WireDecoderAccepts, DatesHonourFractionAndZone) {
    struct Case {
        const char* text;
        Instant instant;
    };
    const Case cases[] = {
        // The parser's own suite holds the forms; here both records must route through it.
        {"2025-01-31T09:35:09.5-04:30", utc(2025, 1, 31, 14, 5, 9, milliseconds{500})},
        {"2024-02-29T00:00:00Z", utc(2024, 2, 29, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto latest =
            decodeOk<LatestPricesResponse>(with(kLatest, "2025-01-31T14:05:09Z", c.text));
        ASSERT_TRUE(latest);
        EXPECT_EQ(latest->asOf, c.instant);
        const auto history =
            decodeOk<HistoryResponse>(with(kHistory, "2024-01-02T00:00:00Z", c.text));
        ASSERT_TRUE(history);
        EXPECT_EQ(history->points.at(1).t, c.instant);
    }
}

TEST(WireDecoderAccepts, OneDecoderServesManyDocumentsWhateverFailedBefore) {
    WireDecoder decoder;
    const std::string longer = with(kLatest, R"("USD")", '"' + std::string(5000, 'U') + '"');
    const std::string_view documents[] = {kLatest, "{", longer, R"({"currency":)", kLatest};
    std::vector<LatestPricesResponse> decoded;
    for (const std::string_view doc : documents) {
        try {
            decoded.push_back(decoder.decode<LatestPricesResponse>(bytesOf(doc)));
        } catch (const DecodingError&) {
        }
        // Interleaving the other record through the same buffers must not disturb either.
        EXPECT_EQ(decoder.decode<HistoryResponse>(bytesOf(kHistory)).points.size(), 2U);
    }
    ASSERT_EQ(decoded.size(), 3U);
    EXPECT_EQ(decoded[0], decoded[2]);
    EXPECT_EQ(decoded[1].currency.size(), 5000);
}

// ---------------------------------------------------------------------------------------------
// Writing back

TEST(WireDecoderRoundTrip, WrittenTextHasDeclaredKeyOrderAndDecodesEqual) {
    struct Case {
        std::string_view input;
        std::string_view written;
    };
    const Case latest[] = {
        // Every field
        {R"({"stale":true,"prices":{"XPT":{"unit":"g","value":951},)"
         R"("XAU":{"prev_close":2030.10,"unit":"oz","value":2034.560},)"
         R"("XAG":{"value":32.50,"unit":"oz","prev_close":null}},)"
         R"("as_of":"2025-01-31T15:05:09.250+01:00","currency":"USD","extra":[1]})",
         R"({"currency":"USD","prices":{"XAG":{"value":32.5,"unit":"oz"},)"
         R"("XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1},)"
         R"("XPT":{"value":951,"unit":"g"}},"stale":true,"as_of":"2025-01-31T14:05:09.250Z"})"},
        // Empty prices
        {R"({"currency":"EUR","as_of":"2025-01-31T14:05:09.000001Z","stale":false,"prices":{}})",
         R"({"currency":"EUR","prices":{},"stale":false,"as_of":"2025-01-31T14:05:09.000001Z"})"},
        // Text needing escapes
        {R"({"currency":"\ufeff\"\u0001","as_of":"1969-12-31T23:59:59.5Z","stale":false,)"
         R"("prices":{"\u91d1\n":{"value":-0.001e-2,"unit":"a\\b\u007f"}}})",
         "{\"currency\":\"\xEF\xBB\xBF\\\"\\u0001\",\"prices\":{\"\xE9\x87\x91\\n\":"
         "{\"value\":-0.00001,\"unit\":\"a\\\\b\x7F\"}},\"stale\":false,"
         "\"as_of\":\"1969-12-31T23:59:59.500Z\"}"},
    };
    const Case history[] = {
        // Two points
        {R"({"points":[{"v":2034.560,"t":"2024-01-01T01:00:00+01:00"},)"
         R"({"t":"2024-01-02T00:00:00.123456789Z","v":1E3}],"range":"1y","unit":"oz",)"
         R"("currency":"USD","series":"XAU"})",
         R"({"series":"XAU","currency":"USD","unit":"oz","range":"1y","points":[)"
         R"({"t":"2024-01-01T00:00:00Z","v":2034.56},)"
         R"({"t":"2024-01-02T00:00:00.123456789Z","v":1000}]})"},
        // No points
        {R"({"series":"S","currency":"C","unit":"U","range":"R","points":[]})",
         R"({"series":"S","currency":"C","unit":"U","range":"R","points":[]})"},
    };
    const auto roundTrip = [](const auto& cases, auto record) {
        using T = decltype(record);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.input);
            const auto first = decodeOk<T>(c.input);
            ASSERT_TRUE(first);
            const QByteArray written = first->toJson();
            EXPECT_EQ(written.toStdString(), c.written);
            EXPECT_EQ(decodeOk<T>(written.toStdString()), first);
        }
    };
    roundTrip(latest, LatestPricesResponse{});
    roundTrip(history, HistoryResponse{});
}

// ---------------------------------------------------------------------------------------------
// Documents that fail, and how

TEST(WireDecoderRejects, MissingRequiredKeyNamesItsPath) {
    expectFailures<LatestPricesResponse>({
        {with(kLatest, R"("currency":"USD",)", ""), Kind::keyNotFound, "currency"},
        {with(kLatest, R"("as_of":"2025-01-31T14:05:09Z",)", ""), Kind::keyNotFound, "as_of"},
        {with(kLatest, R"("stale":false,)", ""), Kind::keyNotFound, "stale"},
        {with(kLatest, R"(,"prices":{"XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1}})",
              ""),
         Kind::keyNotFound, "prices"},
        {with(kLatest, R"("value":2034.56,)", ""), Kind::keyNotFound, "prices.XAU.value"},
        {with(kLatest, R"("unit":"oz",)", ""), Kind::keyNotFound, "prices.XAU.unit"},
        // Case matters: "Stale" is an unknown key, so "stale" is still missing.
        {with(kLatest, R"("stale")", R"("Stale")"), Kind::keyNotFound, "stale"},
        {"{}", Kind::keyNotFound, "currency"},
    });
    expectFailures<HistoryResponse>({
        {with(kHistory, R"("series":"XAU",)", ""), Kind::keyNotFound, "series"},
        {with(kHistory, R"("unit":"oz",)", ""), Kind::keyNotFound, "unit"},
        {with(kHistory, R"("range":"1y",)", ""), Kind::keyNotFound, "range"},
        {R"({"series":"XAU","currency":"USD","unit":"oz","range":"1y"})", Kind::keyNotFound,
         "points"},
        {with(kHistory, R"("t":"2024-01-02T00:00:00Z",)", ""), Kind::keyNotFound, "points[1].t"},
        {with(kHistory, R"(,"v":2034.56)", ""), Kind::keyNotFound, "points[0].v"},
        {with(kHistory, R"({"t":"2024-01-01T00:00:00Z","v":2034.56})", "{}"), Kind::keyNotFound,
         "points[0].t"},
    });
}

TEST(WireDecoderRejects, NullRequiredValueIsValueNotFound) {
    expectFailures<LatestPricesResponse>({
        {with(kLatest, R"("USD")", "null"), Kind::valueNotFound, "currency"},
        {with(kLatest, R"("2025-01-31T14:05:09Z")", "null"), Kind::valueNotFound, "as_of"},
        {with(kLatest, "false", "null"), Kind::valueNotFound, "stale"},
        {with(kLatest, R"({"XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1}})", "null"),
         Kind::valueNotFound, "prices"},
        {with(kLatest, R"({"value":2034.56,"unit":"oz","prev_close":2030.1})", "null"),
         Kind::valueNotFound, "prices.XAU"},
        {with(kLatest, "2034.56", "null"), Kind::valueNotFound, "prices.XAU.value"},
        {with(kLatest, R"("oz")", "null"), Kind::valueNotFound, "prices.XAU.unit"},
        {"null", Kind::valueNotFound, ""},
    });
    expectFailures<HistoryResponse>({
        {with(kHistory, R"("XAU")", "null"), Kind::valueNotFound, "series"},
        {with(kHistory, R"("1y")", "null"), Kind::valueNotFound, "range"},
        {R"({"series":"XAU","currency":"USD","unit":"oz","range":"1y","points":null})",
         Kind::valueNotFound, "points"},
        {with(kHistory, R"({"t":"2024-01-02T00:00:00Z","v":2041.1})", "null"), Kind::valueNotFound,
         "points[1]"},
        {with(kHistory, R"("2024-01-01T00:00:00Z")", "null"), Kind::valueNotFound, "points[0].t"},
        {with(kHistory, "2041.1", "null"), Kind::valueNotFound, "points[1].v"},
    });
}

TEST(WireDecoderRejects, WrongJsonTypeIsTypeMismatch) {
    expectFailures<LatestPricesResponse>({
        // The same digits as 32.50, but sent as text.
        {with(kLatest, "2034.56", R"("32.50")"), Kind::typeMismatch, "prices.XAU.value"},
        {with(kLatest, "2030.1", R"("2030.1")"), Kind::typeMismatch, "prices.XAU.prev_close"},
        {with(kLatest, "false", R"("false")"), Kind::typeMismatch, "stale"},
        {with(kLatest, "false", "0"), Kind::typeMismatch, "stale"},
        {with(kLatest, R"("2025-01-31T14:05:09Z")", "1738332309"), Kind::typeMismatch, "as_of"},
        {with(kLatest, R"("USD")", R"(["USD"])"), Kind::typeMismatch, "currency"},
        {with(kLatest, R"("oz")", "{}"), Kind::typeMismatch, "prices.XAU.unit"},
        {with(kLatest, R"({"XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1}})", "[]"),
         Kind::typeMismatch, "prices"},
        {with(kLatest, R"({"value":2034.56,"unit":"oz","prev_close":2030.1})", "2034.56"),
         Kind::typeMismatch, "prices.XAU"},
        {"[]", Kind::typeMismatch, ""},
        {"[" + std::string(kLatest) + "]", Kind::typeMismatch, ""},
        {R"("{}")", Kind::typeMismatch, ""},
        {"1", Kind::typeMismatch, ""},
    });
    expectFailures<HistoryResponse>({
        {with(kHistory, "2041.1", R"("2041.1")"), Kind::typeMismatch, "points[1].v"},
        {with(kHistory, R"("2024-01-01T00:00:00Z")", "1704067200"), Kind::typeMismatch,
         "points[0].t"},
        {R"({"series":"XAU","currency":"USD","unit":"oz","range":"1y","points":{}})",
         Kind::typeMismatch, "points"},
        {with(kHistory, R"({"t":"2024-01-02T00:00:00Z","v":2041.1})", R"(["x"])"),
         Kind::typeMismatch, "points[1]"},
        {with(kHistory, R"("XAU")", "true"), Kind::typeMismatch, "series"},
    });
}

TEST(WireDecoderRejects, OneBadEntryFailsTheWholeDocument) {
    const std::string good = R"("XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1})";
    expectFailures<LatestPricesResponse>({
        {with(kLatest, good, good + R"(,"XAG":{"value":"32.50","unit":"oz"})"), Kind::typeMismatch,
         "prices.XAG.value"},
        {with(kLatest, good, R"("XAG":{"value":32.50},)" + good), Kind::keyNotFound,
         "prices.XAG.unit"},
        {with(kLatest, good, good + R"(,"XPT":[])"), Kind::typeMismatch, "prices.XPT"},
        {with(kLatest, good, good + R"(,"XPT":{"value":1,})"), Kind::dataCorrupted, "prices.XPT"},
    });
    expectFailures<HistoryResponse>({
        {with(kHistory, R"({"t":"2024-01-02T00:00:00Z")",
              R"({"t":"2024-01-01T12:00:00Z","v":true},{"t":"2024-01-02T00:00:00Z")"),
         Kind::typeMismatch, "points[1].v"},
        {with(kHistory, "2024-01-02T00:00:00Z", "2024-01-32"), Kind::dataCorrupted, "points[1].t"},
    });
}

TEST(WireDecoderRejects, DuplicateKeys) {
    expectFailures<LatestPricesResponse>({
        {with(kLatest, R"("stale":false)", R"("stale":false,"stale":true)"), Kind::dataCorrupted,
         "stale"},
        {with(kLatest, R"("currency":"USD")", R"("currency":"USD","currency":"USD")"),
         Kind::dataCorrupted, "currency"},
        {with(kLatest, R"("stale":false,)", R"("stale":false,"prices":{},)"), Kind::dataCorrupted,
         "prices"},
        {with(kLatest, R"("value":2034.56)", R"("value":1,"value":2034.56)"), Kind::dataCorrupted,
         "prices.XAU.value"},
        {with(kLatest, R"("prev_close":2030.1)", R"("prev_close":null,"prev_close":null)"),
         Kind::dataCorrupted, "prices.XAU.prev_close"},
        {with(kLatest, "}}}", R"(},"XAU":{"value":1,"unit":"oz"}}})"), Kind::dataCorrupted,
         "prices.XAU"},
        {with(kLatest, "}}}", R"(},"X\u0041U":{"value":1,"unit":"oz"}}})"), Kind::dataCorrupted,
         "prices.XAU"},
        {with(kLatest, R"("unit":"oz")", R"("unit":"oz","\u0075nit":"g")"), Kind::dataCorrupted,
         "prices.XAU.unit"},
    });
    expectFailures<HistoryResponse>({
        {with(kHistory, R"("range":"1y",)", R"("range":"1y","points":[],)"), Kind::dataCorrupted,
         "points"},
        {with(kHistory, R"("t":"2024-01-02T00:00:00Z")",
              R"("t":"2024-01-02T00:00:00Z","t":"2024-01-02T00:00:00Z")"),
         Kind::dataCorrupted, "points[1].t"},
    });
}

TEST(WireDecoderRejects, BadDateWithTheExactDescription) {
    // Which texts fail is the parser's suite's business; here, the path and the description.
    const char* const dates[] = {"2025-01-31 14:05:09", "2025-02-30T00:00:00Z", ""};
    for (const char* date : dates) {
        SCOPED_TRACE(date);
        const std::string expected = std::string("Invalid ISO-8601 date: ") + date;
        if (const auto e =
                decodeError<LatestPricesResponse>(with(kLatest, "2025-01-31T14:05:09Z", date))) {
            EXPECT_EQ(nameOf(e->kind()), nameOf(Kind::dataCorrupted));
            EXPECT_EQ(e->codingPath(), "as_of");
            EXPECT_STREQ(e->what(), expected.c_str());
        }
        if (const auto e =
                decodeError<HistoryResponse>(with(kHistory, "2024-01-02T00:00:00Z", date))) {
            EXPECT_EQ(nameOf(e->kind()), nameOf(Kind::dataCorrupted));
            EXPECT_EQ(e->codingPath(), "points[1].t");
            EXPECT_STREQ(e->what(), expected.c_str());
        }
    }
}

TEST(WireDecoderRejects, NumbersThatAreNotJsonOrOutOfRange) {
    // Valid JSON, so harmless under an unknown key, but no Decimal holds them.
    const char* const outOfRange[] = {"1e400", "-1e400",
                                      "99999999999999999999999999999999999999999e127"};
    const char* const notJson[] = {"01",        "-01",      "1.",   ".5",    "+1",    "-",
                                   "1e",        "1e+",      "0x10", "1_000", "1.2.3", "NaN",
                                   "-Infinity", "Infinity", "1,5",  "1e5.5"};
    auto expectCorrupted = [](const std::string& latest, const std::string& history) {
        expectAllCorrupted<LatestPricesResponse>({latest});
        expectAllCorrupted<HistoryResponse>({history});
    };
    for (const char* token : outOfRange) {
        SCOPED_TRACE(token);
        expectCorrupted(with(kLatest, "2034.56", token), with(kHistory, "2041.1", token));
        EXPECT_TRUE(decodeOk<LatestPricesResponse>(
            with(kLatest, R"("stale":false)", std::string(R"("stale":false,"x":)") + token)));
    }
    for (const char* token : notJson) {
        SCOPED_TRACE(token);
        expectCorrupted(with(kLatest, "2034.56", token), with(kHistory, "2041.1", token));
        // Under an unknown key a malformed number still makes the document malformed.
        expectCorrupted(
            with(kLatest, R"("stale":false)", std::string(R"("stale":false,"x":)") + token),
            with(kHistory, R"("v":2041.1)", std::string(R"("v":2041.1,"x":)") + token));
    }
    const auto e = decodeError<LatestPricesResponse>(with(kLatest, "2034.56", "1e400"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->codingPath(), "prices.XAU.value");
    EXPECT_NE(std::string_view(e->what()).find("1e400"), std::string_view::npos) << e->what();
}

TEST(WireDecoderRejects, MalformedTokenIsDataCorruptedWhateverWasExpected) {
    // A bad token is corrupt data, not a value of some other type or a null.
    const char* const tokens[] = {"1y",    "-",   "01",    "1.5.",  "nul",  "nulx",   "nullx",
                                  "null-", "tru", "truex", "true1", "fals", "falsey", "false-"};
    for (const char* token : tokens) {
        SCOPED_TRACE(token);
        expectAllCorrupted<LatestPricesResponse>({
            with(kLatest, R"("USD")", token),
            with(kLatest, "false", token),
            with(kLatest, R"("2025-01-31T14:05:09Z")", token),
            with(kLatest, "2034.56", token),
            with(kLatest, "2030.1", token),
            with(kLatest, R"({"value":2034.56,"unit":"oz","prev_close":2030.1})", token),
            token,
            // The parser's root literals misread some tokens only when blanks follow.
            std::string(token) + "\r\r\n ",
        });
        expectAllCorrupted<HistoryResponse>({
            with(kHistory, R"("1y")", token),
            with(kHistory, "2041.1", token),
            with(kHistory, R"("2024-01-01T00:00:00Z")", token),
            with(kHistory, R"({"t":"2024-01-02T00:00:00Z","v":2041.1})", token),
        });
    }
}

// Malformed JSON of every sort, placed where each record would otherwise accept it.
std::vector<std::string> malformed(std::string_view doc, std::string_view stringValue) {
    const std::string deepArrays = std::string(10'000, '[') + std::string(10'000, ']');
    std::string deepObjects;
    for (int i = 0; i < 10'000; ++i) {
        deepObjects += R"({"a":)";
    }
    deepObjects += "1" + std::string(10'000, '}');
    const std::string lastBrace = std::string(doc.substr(0, doc.size() - 1));
    const std::string quoted = '"' + std::string(stringValue) + '"';
    // Every document opens with '{': what follows it, for members put in front.
    const std::string rest(doc.substr(1));
    return {
        "",
        "   \n\t",
        "{",
        "}",
        R"({"currency")",
        lastBrace,
        lastBrace + ",}",
        std::string(doc) + "}",
        std::string(doc) + "]",
        std::string(doc) + " x",
        std::string(doc) + std::string(doc),
        std::string(doc) + "\f",
        std::string(doc) + '\0',
        "\xEF\xBB\xBF" + std::string(doc),
        "[" + std::string(doc),
        with(doc, quoted, "'" + std::string(stringValue) + "'"),
        with(doc, quoted, std::string(stringValue)),
        with(doc, quoted, '"' + std::string(stringValue)),
        with(doc, quoted, quoted + ","),
        with(doc, quoted + ",", quoted),
        with(doc, quoted, quoted + " /* note */"),
        // A string value followed by a colon must not pass for a key; the extra brace would
        // balance the document if it did.
        with(doc, quoted + ",", quoted + R"(:{"a":1},)"),
        with(doc, quoted + ",", quoted + R"(:{"a":1},)") + "}",
        with(doc, quoted + ",", quoted + R"(:[1],)") + "]",
        lastBrace + R"(,"x":"a":{"b":1}})" + "}",
        lastBrace + R"(,"x":["a":{"b":1}]})" + "]",
        with(doc, "\":" + quoted, "\"" + quoted),
        with(doc, quoted, "\"a\nb\""),
        with(doc, quoted, "\"a\x01 b\""),
        with(doc, quoted, "\"\xFF\""),
        with(doc, quoted, "\"\xC3\""),
        with(doc, quoted, "\"\xED\xA0\x80\""),      // UTF-8 for a surrogate
        with(doc, quoted, "\"\xF4\x90\x80\x80\""),  // past U+10FFFF
        with(doc, quoted, "\"\xC0\xAF\""),          // overlong
        with(doc, quoted, R"("\ud800")"),           // lone high surrogate
        with(doc, quoted, R"("\udc00")"),           // lone low surrogate
        with(doc, quoted, R"("\ud800\u0041")"),     // high surrogate, then not a low one
        with(doc, quoted, R"("\x41")"),             // not a JSON escape
        with(doc, quoted, R"("\u12")"),             // short \u escape
        "{\"\xFF\":1," + rest,                      // invalid UTF-8 in an unknown key
        // Broken values under an unknown key.
        R"({"x":tru,)" + rest,
        R"({"x":nul,)" + rest,
        R"({"x":nulls,)" + rest,
        R"({"x":[1,2},)" + rest,
        R"({"x":{"a":1],)" + rest,
        R"({"x":{"a" 1},)" + rest,
        R"({"x":{1:2},)" + rest,
        R"({"x":[1 2],)" + rest,
        R"({"x":[,],)" + rest,
        R"({"x":"a":{"b":1},)" + rest,
        R"({"x":1:{"b":1},)" + rest,
        R"({"x":["a":{"b":1}],)" + rest,
        R"({"x":)" + std::string(100, '[') + "," + rest,  // never closed
        // Deep junk under an unknown key: a clean error, not a stack overflow.
        R"({"x":)" + deepArrays + "," + rest,
        R"({"x":)" + deepObjects + "," + rest,
        R"({"x":)" + std::string(10'000, '[') + "," + rest,
    };
}

TEST(WireDecoderRejects, MalformedJsonIsDataCorrupted) {
    expectAllCorrupted<LatestPricesResponse>(malformed(kLatest, "USD"));
    expectAllCorrupted<HistoryResponse>(malformed(kHistory, "1y"));
}

TEST(WireDecoderRejects, EveryTruncationFailsCleanly) {
    // Spaced out, so cuts also land between tokens.
    const std::string latest =
        R"({ "currency" : "USD" , "as_of" : "2025-01-31T14:05:09.250Z" , "stale" : true ,)"
        R"( "prices" : { "XAU" : { "value" : 2034.56 , "unit" : "oz" , "prev_close" : null } ,)"
        R"( "XAG" : { "value" : -3.25e1 , "unit" : "\u006fz" } } , "x" : [ { } , [ ] ] }  )";
    ASSERT_TRUE(decodeOk<LatestPricesResponse>(latest));
    const std::string history =
        R"({ "series" : "XAU" , "currency" : "USD" , "unit" : "oz" , "range" : "1y" ,)"
        R"( "points" : [ { "t" : "2024-01-01T00:00:00Z" , "v" : 2034.56 } ,)"
        R"( { "t" : "2024-01-02T00:00:00.5+01:00" , "v" : 1e2 } ] })";
    ASSERT_TRUE(decodeOk<HistoryResponse>(history));

    // Only blanks may be cut off the end.
    std::vector<std::string> latestCuts, historyCuts;
    for (std::size_t n = 0; n < latest.find_last_not_of(' ') + 1; ++n) {
        latestCuts.push_back(latest.substr(0, n));
    }
    for (std::size_t n = 0; n < history.size(); ++n) {
        historyCuts.push_back(history.substr(0, n));
    }
    expectAllCorrupted<LatestPricesResponse>(latestCuts);
    expectAllCorrupted<HistoryResponse>(historyCuts);
}

}  // namespace
