#include "DecimalTesting.h"
#include "DecodingTesting.h"
#include "json/DecodingError.h"
#include "market/Decimal.h"
#include "pricing/WireDecoder.h"

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <QString>

#include <gtest/gtest.h>

namespace mintlux {
// Readable failure messages instead of raw bytes.
template <WireRecord T>
static void PrintTo(const T& r, std::ostream* os) {
    *os << r.toJson().toStdString();
}
}  // namespace mintlux

namespace {

using namespace mintlux;
using enum DecodingError::Kind;
using mintlux::test::dec;

// Both are minimal: every key present once, nothing extra.
const std::string kEntry = R"({"value":2034.56,"unit":"oz","prev_close":2030.1})";
const std::string kPrices = R"({"XAU":)" + kEntry + "}";
const std::string kLatest =
    R"({"currency":"USD","as_of":"2025-01-31T14:05:09Z","stale":false,"prices":)" + kPrices + "}";
const std::string kHead = R"({"series":"XAU","currency":"USD","unit":"oz","range":"1y")";
const std::string kPoint0 = R"({"t":"2024-01-01T00:00:00Z","v":2034.56})";
const std::string kPoint1 = R"({"t":"2024-01-02T00:00:00Z","v":2041.1})";
const std::string kHistory = kHead + R"(,"points":[)" + kPoint0 + "," + kPoint1 + "]}";

template <WireRecord T>
const std::string& baseOf() {
    return std::is_same_v<T, LatestPricesResponse> ? kLatest : kHistory;
}

// `base` with its only occurrence of `from` replaced by `to`; an empty `from` stands for the
// whole document.
std::string with(std::string_view base, std::string_view from, std::string_view to) {
    std::string out(from.empty() ? std::string_view() : base);
    const std::size_t at = out.find(from);
    if (!from.empty() && (at == std::string::npos || out.find(from, at + 1) != std::string::npos)) {
        ADD_FAILURE() << "test fixture: \"" << from << "\" is not in the document exactly once";
        return out;
    }
    out.replace(at, from.size(), to);
    return out;
}

template <WireRecord T>
std::optional<T> decodeOk(std::string_view text) {
    try {
        return WireDecoder().decode<T>(text);
    } catch (const DecodingError& e) {
        ADD_FAILURE() << "unexpected " << testing::PrintToString(e.kind()) << " at '"
                      << e.codingPath() << "': " << e.what() << "\n  in " << text;
        return std::nullopt;
    }
}

// Every document decodes to the same record as the base document.
template <WireRecord T>
void expectSameRecord(const std::vector<std::string>& documents) {
    const auto expected = decodeOk<T>(baseOf<T>());
    ASSERT_TRUE(expected);
    for (const std::string& doc : documents) {
        SCOPED_TRACE(doc);
        EXPECT_EQ(decodeOk<T>(doc), expected);
    }
}

// The base document edited as with() does, and how decoding it fails.
struct Failure {
    std::string from, to;
    DecodingError::Kind kind;
    std::optional<std::string> path = std::nullopt;
};

// Returns the error's description.
template <WireRecord T>
std::string expectFailure(const Failure& f) {
    const std::string doc = with(baseOf<T>(), f.from, f.to);
    SCOPED_TRACE(doc.substr(0, 200));
    return test::expectDecodingFailure([&] { WireDecoder().decode<T>(doc); }, f.kind, f.path);
}

template <WireRecord T>
void expectFailures(const std::vector<Failure>& cases) {
    for (const Failure& f : cases) {
        expectFailure<T>(f);
    }
}

// ---------------------------------------------------------------------------------------------
// Documents that decode

TEST(WireDecoderAccepts, TextIsKeptCharacterForCharacter) {
    // JSON string literals, quotes included, and their text.
    const std::pair<const char*, QString> cases[] = {
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
    for (const auto& [json, text] : cases) {
        SCOPED_TRACE(json);
        // Metal codes are keys, and text too, whatever they spell.
        const auto r =
            decodeOk<LatestPricesResponse>(with(with(kLatest, R"("USD")", json), R"("XAU")", json));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->currency, text);
        ASSERT_EQ(r->prices.size(), 1U);
        EXPECT_EQ(r->prices.begin()->first, text);
    }
}

TEST(WireDecoderAccepts, KeyOrderEscapedKeysAndUnknownKeysChangeNothing) {
    // Near the depth limit, but under it: real documents may carry structured extras.
    const std::string nested = std::string(55, '[') + "{}" + std::string(55, ']');
    const std::string junk = R"({"a":[1,-2.5e-3,true,false,null,"s",{"b":{}}],"c":)" + nested +
                             R"(,"d":1e999,"\u00e9t\u00e9":"\ud83d\ude00","":0})";
    expectSameRecord<LatestPricesResponse>({
        with(kLatest, R"("value":2034.56)", R"("\u0076alue":2034.56)"),
        R"({"prices":{"XAU":{"prev_close":2030.1,"unit":"oz","value":2034.56}},)"
        R"("stale":false,"as_of":"2025-01-31T14:05:09Z","currency":"USD"})",
        with(with(with(kLatest, R"("stale":false)", R"("stale":false,"extra":)" + junk),
                  R"("unit":"oz")", R"("unit":"oz","source":)" + junk),
             "{\"currency\"", "{\"\xC3\xA9\":1,\"currency\""),
    });
    expectSameRecord<HistoryResponse>({
        R"({"points":[{"v":2034.56,"t":"2024-01-01T00:00:00Z"},)"
        R"({"v":2041.1,"t":"2024-01-02T00:00:00Z"}],"range":"1y","unit":"oz",)"
        R"("currency":"USD","series":"XAU"})",
        with(with(kHistory, R"("range":"1y")", R"("range":"1y","x":)" + junk), R"("v":2034.56)",
             R"("v":2034.56,"w":)" + junk),
    });
}

TEST(WireDecoderAccepts, OneDecoderServesManyDocumentsWhateverFailedBefore) {
    WireDecoder decoder;
    const std::string longer = with(kLatest, R"("USD")", '"' + std::string(5000, 'U') + '"');
    const std::string_view documents[] = {kLatest, "{", longer, R"({"currency":)", kLatest};
    std::vector<LatestPricesResponse> decoded;
    for (const std::string_view doc : documents) {
        try {
            decoded.push_back(decoder.decode<LatestPricesResponse>(doc));
        } catch (const DecodingError&) {
        }
        // Interleaving the other record through the same buffers must not disturb either.
        EXPECT_EQ(decoder.decode<HistoryResponse>(kHistory).points.size(), 2U);
    }
    ASSERT_EQ(decoded.size(), 3U);
    EXPECT_EQ(decoded[0], decoded[2]);
    EXPECT_EQ(decoded[1].currency.size(), 5000);
}

// ---------------------------------------------------------------------------------------------
// Writing back

TEST(WireDecoderRoundTrip, WrittenTextHasDeclaredKeyOrderAndDecodesEqual) {
    using Case = std::pair<std::string_view, std::string_view>;  // input, written
    const Case latest[] = {
        // Every field; a previous close absent or null is none, but zero is a price.
        {R"({"stale":true,"prices":{"XPT":{"unit":"g","value":951},)"
         R"("XAU":{"prev_close":2030.10,"unit":"oz","value":2034.560},)"
         R"("XPD":{"prev_close":0,"unit":"oz","value":-1.25},)"
         R"("XAG":{"value":32.50,"unit":"oz","prev_close":null}},)"
         R"("as_of":"2025-01-31T15:05:09.250+01:00","currency":"USD","extra":[1]})",
         R"({"currency":"USD","prices":{"XAG":{"value":32.5,"unit":"oz"},)"
         R"("XAU":{"value":2034.56,"unit":"oz","prev_close":2030.1},)"
         R"("XPD":{"value":-1.25,"unit":"oz","prev_close":0},)"
         R"("XPT":{"value":951,"unit":"g"}},"stale":true,"as_of":"2025-01-31T14:05:09.250Z"})"},
        // Empty prices
        {R"({"currency":"EUR","as_of":"2025-01-31T14:05:09.000001Z","stale":false,"prices":{ }})",
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
        // Numbers digit for digit: binary floating point cannot hold these, and a token cut
        // short of its sign, fraction or exponent would show.
        {R"({"series":"S","currency":"C","unit":"U","range":"R","points":[)"
         R"({"t":"2024-01-01T00:00:00Z","v":32.50},{"t":"2024-01-01T00:00:00Z","v":0.1},)"
         R"({"t":"2024-01-01T00:00:00Z","v":9007199254740993},)"
         R"({"t":"2024-01-01T00:00:00Z","v":-0.0e5},{"t":"2024-01-01T00:00:00Z","v":-1.5e-3},)"
         R"({"t":"2024-01-01T00:00:00Z","v":25e+1},{"t":"2024-01-01T00:00:00Z","v":)"
         R"(123456789012345678901234567890123456789012345678901234567890}]})",
         R"({"series":"S","currency":"C","unit":"U","range":"R","points":[)"
         R"({"t":"2024-01-01T00:00:00Z","v":32.5},{"t":"2024-01-01T00:00:00Z","v":0.1},)"
         R"({"t":"2024-01-01T00:00:00Z","v":9007199254740993},)"
         R"({"t":"2024-01-01T00:00:00Z","v":0},{"t":"2024-01-01T00:00:00Z","v":-0.0015},)"
         R"({"t":"2024-01-01T00:00:00Z","v":250},{"t":"2024-01-01T00:00:00Z","v":)"
         R"(123456789012345678901234567890123456790000000000000000000000}]})"},
        // No points
        {R"({"series":"S","currency":"C","unit":"U","range":"R","points":[ ]})",
         R"({"series":"S","currency":"C","unit":"U","range":"R","points":[]})"},
    };
    const auto roundTrip = [](const auto& cases, auto record) {
        using T = decltype(record);
        for (const auto& [input, expected] : cases) {
            SCOPED_TRACE(input);
            const auto first = decodeOk<T>(input);
            ASSERT_TRUE(first);
            const std::string written = first->toJson().toStdString();
            EXPECT_EQ(written, expected);
            EXPECT_EQ(decodeOk<T>(written), first);
        }
    };
    roundTrip(latest, LatestPricesResponse{});
    roundTrip(history, HistoryResponse{});
}

// ---------------------------------------------------------------------------------------------
// Documents that fail, and how

TEST(WireDecoderRejects, EachFailureNamesItsKindAndPath) {
    const std::string xau = R"("XAU":)" + kEntry;
    expectFailures<LatestPricesResponse>({
        // A required key missing; case matters, so "Stale" is an unknown key.
        {R"("currency":"USD",)", "", keyNotFound, "currency"},
        {R"("as_of":"2025-01-31T14:05:09Z",)", "", keyNotFound, "as_of"},
        {R"("stale":false,)", "", keyNotFound, "stale"},
        {R"(,"prices":)" + kPrices, "", keyNotFound, "prices"},
        {R"("value":2034.56,)", "", keyNotFound, "prices.XAU.value"},
        {R"("unit":"oz",)", "", keyNotFound, "prices.XAU.unit"},
        {R"("stale")", R"("Stale")", keyNotFound, "stale"},
        {"", "{}", keyNotFound, "currency"},
        // A required value null.
        {R"("USD")", "null", valueNotFound, "currency"},
        {R"("2025-01-31T14:05:09Z")", "null", valueNotFound, "as_of"},
        {"false", "null", valueNotFound, "stale"},
        {kPrices, "null", valueNotFound, "prices"},
        {kEntry, "null", valueNotFound, "prices.XAU"},
        {"2034.56", "null", valueNotFound, "prices.XAU.value"},
        {R"("oz")", "null", valueNotFound, "prices.XAU.unit"},
        {"", "null", valueNotFound, ""},
        // The wrong JSON type; the same digits as a number, but sent as text.
        {"2034.56", R"("32.50")", typeMismatch, "prices.XAU.value"},
        {"2030.1", R"("2030.1")", typeMismatch, "prices.XAU.prev_close"},
        {"false", R"("false")", typeMismatch, "stale"},
        {"false", "0", typeMismatch, "stale"},
        {R"("2025-01-31T14:05:09Z")", "1738332309", typeMismatch, "as_of"},
        {R"("USD")", R"(["USD"])", typeMismatch, "currency"},
        {R"("oz")", "{}", typeMismatch, "prices.XAU.unit"},
        {kPrices, "[]", typeMismatch, "prices"},
        {kEntry, "2034.56", typeMismatch, "prices.XAU"},
        {"", "[]", typeMismatch, ""},
        {"", "[" + kLatest + "]", typeMismatch, ""},
        {"", R"("{}")", typeMismatch, ""},
        {"", "1", typeMismatch, ""},
        // One bad entry fails the whole document.
        {xau, xau + R"(,"XAG":{"value":"32.50","unit":"oz"})", typeMismatch, "prices.XAG.value"},
        {xau, R"("XAG":{"value":32.50},)" + xau, keyNotFound, "prices.XAG.unit"},
        {xau, xau + R"(,"XPT":[])", typeMismatch, "prices.XPT"},
        {xau, xau + R"(,"XPT":{"value":1,})", dataCorrupted, "prices.XPT"},
        // Duplicate keys, also when spelled with escapes.
        {R"("stale":false)", R"("stale":false,"stale":true)", dataCorrupted, "stale"},
        {R"("currency":"USD")", R"("currency":"USD","currency":"USD")", dataCorrupted, "currency"},
        {R"("stale":false,)", R"("stale":false,"prices":{},)", dataCorrupted, "prices"},
        {R"("value":2034.56)", R"("value":1,"value":2034.56)", dataCorrupted, "prices.XAU.value"},
        {R"("prev_close":2030.1)", R"("prev_close":null,"prev_close":null)", dataCorrupted,
         "prices.XAU.prev_close"},
        {"}}}", R"(},"XAU":{"value":1,"unit":"oz"}}})", dataCorrupted, "prices.XAU"},
        {"}}}", R"(},"X\u0041U":{"value":1,"unit":"oz"}}})", dataCorrupted, "prices.XAU"},
        {R"("unit":"oz")", R"("unit":"oz","\u0075nit":"g")", dataCorrupted, "prices.XAU.unit"},
    });
    expectFailures<HistoryResponse>({
        {R"("series":"XAU",)", "", keyNotFound, "series"},
        {R"("unit":"oz",)", "", keyNotFound, "unit"},
        {R"("range":"1y",)", "", keyNotFound, "range"},
        {"", kHead + "}", keyNotFound, "points"},
        {R"("t":"2024-01-02T00:00:00Z",)", "", keyNotFound, "points[1].t"},
        {R"(,"v":2034.56)", "", keyNotFound, "points[0].v"},
        {kPoint0, "{}", keyNotFound, "points[0].t"},
        {R"("XAU")", "null", valueNotFound, "series"},
        {R"("1y")", "null", valueNotFound, "range"},
        {"", kHead + R"(,"points":null})", valueNotFound, "points"},
        {kPoint1, "null", valueNotFound, "points[1]"},
        {R"("2024-01-01T00:00:00Z")", "null", valueNotFound, "points[0].t"},
        {"2041.1", "null", valueNotFound, "points[1].v"},
        {"2041.1", R"("2041.1")", typeMismatch, "points[1].v"},
        {R"("2024-01-01T00:00:00Z")", "1704067200", typeMismatch, "points[0].t"},
        {"", kHead + R"(,"points":{}})", typeMismatch, "points"},
        {kPoint1, R"(["x"])", typeMismatch, "points[1]"},
        {R"("XAU")", "true", typeMismatch, "series"},
        {kPoint1, R"({"t":"2024-01-01T12:00:00Z","v":true},)" + kPoint1, typeMismatch,
         "points[1].v"},
        {"2024-01-02T00:00:00Z", "2024-01-32", dataCorrupted, "points[1].t"},
        {R"("range":"1y",)", R"("range":"1y","points":[],)", dataCorrupted, "points"},
        {R"("t":"2024-01-02T00:00:00Z")",
         R"("t":"2024-01-02T00:00:00Z","t":"2024-01-02T00:00:00Z")", dataCorrupted, "points[1].t"},
    });
}

TEST(WireDecoderRejects, BadDateWithTheExactDescription) {
    // Which texts fail is the parser's suite's business; here, the path and the description.
    for (const std::string date : {"2025-01-31 14:05:09", "2025-02-30T00:00:00Z", ""}) {
        SCOPED_TRACE(date);
        const std::string expected = "Invalid ISO-8601 date: " + date;
        EXPECT_EQ(expectFailure<LatestPricesResponse>(
                      {"2025-01-31T14:05:09Z", date, dataCorrupted, "as_of"}),
                  expected);
        EXPECT_EQ(expectFailure<HistoryResponse>(
                      {"2024-01-02T00:00:00Z", date, dataCorrupted, "points[1].t"}),
                  expected);
    }
}

TEST(WireDecoderRejects, NumbersThatAreNotJsonOrOutOfRange) {
    // Valid JSON, so harmless under an unknown key, but no Decimal holds them.
    for (const std::string token :
         {"1e400", "-1e400", "99999999999999999999999999999999999999999e127"}) {
        SCOPED_TRACE(token);
        const std::string what = expectFailure<LatestPricesResponse>(
            {"2034.56", token, dataCorrupted, "prices.XAU.value"});
        EXPECT_NE(what.find(token), std::string::npos) << what;
        expectFailure<HistoryResponse>({"2041.1", token, dataCorrupted, "points[1].v"});
        EXPECT_TRUE(decodeOk<LatestPricesResponse>(
            with(kLatest, R"("stale":false)", R"("stale":false,"x":)" + token)));
    }
}

TEST(WireDecoderRejects, MalformedTokenIsDataCorruptedWhereverItStands) {
    // A bad token is corrupt data, not a value of some other type or a null, and under an unknown
    // key it still makes the document malformed. An empty spot stands for the whole document.
    const std::string latestSpots[] = {
        R"("USD")", "false", R"("2025-01-31T14:05:09Z")", "2034.56", "2030.1", kEntry, ""};
    const std::string historySpots[] = {R"("1y")", "2041.1", R"("2024-01-01T00:00:00Z")", kPoint1};
    for (const std::string token :
         {"01",    "-01",   "1.",    ".5",    "+1",     "-",         "1e",
          "1e+",   "0x10",  "1_000", "1.2.3", "NaN",    "-Infinity", "Infinity",
          "1e5.5", "1y",    "1.5.",  "nul",   "nulx",   "nullx",     "null-",
          "tru",   "truex", "true1", "fals",  "falsey", "false-"}) {
        SCOPED_TRACE(token);
        for (const std::string& spot : latestSpots) {
            expectFailure<LatestPricesResponse>({spot, token, dataCorrupted});
        }
        // The parser's root literals misread some tokens only when blanks follow.
        expectFailure<LatestPricesResponse>({"", token + "\r\r\n ", dataCorrupted});
        for (const std::string& spot : historySpots) {
            expectFailure<HistoryResponse>({spot, token, dataCorrupted});
        }
        expectFailure<LatestPricesResponse>(
            {R"("stale":false)", R"("stale":false,"x":)" + token, dataCorrupted});
        expectFailure<HistoryResponse>(
            {R"("v":2041.1)", R"("v":2041.1,"x":)" + token, dataCorrupted});
    }
}

// Malformed JSON of every sort, placed where each record would otherwise accept it.
std::vector<std::string> malformed(const std::string& doc, const std::string& stringValue) {
    const std::string lastBrace = doc.substr(0, doc.size() - 1);
    const std::string quoted = '"' + stringValue + '"';
    std::vector<std::string> documents = {
        "",
        "   \n\t",
        "{",
        "}",
        R"({"currency")",
        lastBrace,
        lastBrace + ",}",
        doc + "}",
        doc + "]",
        doc + " x",
        doc + doc,
        doc + "\f",
        doc + '\0',
        "\xEF\xBB\xBF" + doc,
        "[" + doc,
        with(doc, quoted + ",", quoted),
        // A string value followed by a colon must not pass for a key; the extra brace would
        // balance the document if it did.
        with(doc, quoted + ",", quoted + R"(:{"a":1},)"),
        with(doc, quoted + ",", quoted + R"(:{"a":1},)") + "}",
        with(doc, quoted + ",", quoted + R"(:[1],)") + "]",
        lastBrace + R"(,"x":"a":{"b":1}})" + "}",
        lastBrace + R"(,"x":["a":{"b":1}]})" + "]",
        with(doc, "\":" + quoted, "\"" + quoted),
    };
    // In place of the string: bad quoting, a trailing comma or comment, control characters,
    // invalid UTF-8 (a surrogate, past U+10FFFF, overlong), lone or unpaired surrogate escapes,
    // escapes JSON does not have.
    for (const std::string& bad : std::vector<std::string>{
             "'" + stringValue + "'", stringValue, '"' + stringValue, quoted + ",",
             quoted + " /* note */", "\"a\nb\"", "\"a\x01 b\"", "\"\xFF\"", "\"\xC3\"",
             "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xC0\xAF\"", R"("\ud800")",
             R"("\udc00")", R"("\ud800\u0041")", R"("\x41")", R"("\u12")"}) {
        documents.push_back(with(doc, quoted, bad));
    }
    // Members put in front: invalid UTF-8 in an unknown key, then broken values under one,
    // among them deep junk that must be a clean error, not a stack overflow.
    std::string deepObjects;
    for (int i = 0; i < 10'000; ++i) {
        deepObjects += R"({"a":)";
    }
    deepObjects += "1" + std::string(10'000, '}');
    const std::string deepArrays = std::string(10'000, '[') + std::string(10'000, ']');
    documents.push_back("{\"\xFF\":1," + doc.substr(1));
    for (const std::string& junk : std::vector<std::string>{
             "tru", "nul", "nulls", "[1,2}", R"({"a":1])", R"({"a" 1})", "{1:2}", "[1 2]", "[,]",
             R"("a":{"b":1})", R"(1:{"b":1})", R"(["a":{"b":1}])", std::string(100, '['),
             deepArrays, deepObjects, std::string(10'000, '[')}) {
        documents.push_back(R"({"x":)" + junk + "," + doc.substr(1));
    }
    return documents;
}

TEST(WireDecoderRejects, MalformedJsonIsDataCorrupted) {
    for (const std::string& doc : malformed(kLatest, "USD")) {
        expectFailure<LatestPricesResponse>({"", doc, dataCorrupted});
    }
    for (const std::string& doc : malformed(kHistory, "1y")) {
        expectFailure<HistoryResponse>({"", doc, dataCorrupted});
    }
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
    for (std::size_t n = 0; n < latest.find_last_not_of(' ') + 1; ++n) {
        expectFailure<LatestPricesResponse>({"", latest.substr(0, n), dataCorrupted});
    }
    for (std::size_t n = 0; n < history.size(); ++n) {
        expectFailure<HistoryResponse>({"", history.substr(0, n), dataCorrupted});
    }
}

}  // namespace
