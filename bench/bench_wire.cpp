// Decoding a two-year daily history, against two reference points: a bare simdjson on-demand
// pass that only touches each value (the floor for this parser) and Qt's JSON reader (what the
// app would use otherwise). Goal: within 4x of the floor, faster than Qt.
#include "json/Iso8601.h"
#include "pricing/WireDecoder.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <benchmark/benchmark.h>
#include <simdjson.h>

namespace {

using namespace mintlux;

constexpr int kPoints = 730;

QByteArray makeHistoryDocument() {
    std::string out = R"({"series":"XAU","currency":"USD","unit":"oz","range":"2y","points":[)";
    std::mt19937 random(20240101);
    std::uniform_int_distribution<std::int64_t> stepCents(-2500, 2600);
    std::int64_t cents = 203456;
    const Instant start = std::chrono::sys_days{std::chrono::year{2024} / 1 / 1};
    for (int day = 0; day < kPoints; ++day) {
        cents += stepCents(random);
        char value[32];
        std::snprintf(value, sizeof value, "%lld.%02lld", static_cast<long long>(cents / 100),
                      static_cast<long long>(cents % 100));
        if (day > 0) {
            out += ',';
        }
        out += R"({"t":")";
        out += Iso8601::format(start + std::chrono::days{day});
        out += R"(","v":)";
        out += value;
        out += '}';
    }
    out += "]}";
    return QByteArray::fromStdString(out);
}

const QByteArray& historyDocument() {
    static const QByteArray document = makeHistoryDocument();
    return document;
}

void setCounters(benchmark::State& state) {
    state.SetBytesProcessed(state.iterations() * historyDocument().size());
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_WireDecoderHistory(benchmark::State& state) {
    const QByteArray& bytes = historyDocument();
    WireDecoder decoder;
    if (decoder.decode<HistoryResponse>(bytes).points.size() != kPoints) {
        state.SkipWithError("the generated document does not decode to every point");
        return;
    }
    for (auto _ : state) {
        HistoryResponse r = decoder.decode<HistoryResponse>(bytes);
        benchmark::DoNotOptimize(r);
    }
    setCounters(state);
}
BENCHMARK(BM_WireDecoderHistory);

void BM_SimdjsonOnDemandTouch(benchmark::State& state) {
    const QByteArray& bytes = historyDocument();
    const simdjson::padded_string input(bytes.data(), static_cast<std::size_t>(bytes.size()));
    simdjson::ondemand::parser parser;
    for (auto _ : state) {
        simdjson::ondemand::document doc = parser.iterate(input);
        simdjson::ondemand::object root = doc.get_object();
        for (const char* key : {"series", "currency", "unit", "range"}) {
            std::string_view text = root[key].get_string();
            benchmark::DoNotOptimize(text);
        }
        double sum = 0;
        for (simdjson::ondemand::object point : root["points"].get_array()) {
            std::string_view t = point["t"].get_string();
            benchmark::DoNotOptimize(t);
            sum += point["v"].get_double();
        }
        benchmark::DoNotOptimize(sum);
    }
    setCounters(state);
}
BENCHMARK(BM_SimdjsonOnDemandTouch);

void BM_QJsonDocumentParse(benchmark::State& state) {
    const QByteArray& bytes = historyDocument();
    for (auto _ : state) {
        QJsonDocument doc = QJsonDocument::fromJson(bytes);
        benchmark::DoNotOptimize(doc);
    }
    setCounters(state);
}
BENCHMARK(BM_QJsonDocumentParse);

void BM_QJsonDocumentParseAndWalk(benchmark::State& state) {
    const QByteArray& bytes = historyDocument();
    for (auto _ : state) {
        const QJsonObject root = QJsonDocument::fromJson(bytes).object();
        for (const char* key : {"series", "currency", "unit", "range"}) {
            QString text = root.value(QLatin1StringView(key)).toString();
            benchmark::DoNotOptimize(text);
        }
        double sum = 0;
        const QJsonArray points = root.value(QLatin1StringView("points")).toArray();
        for (const QJsonValue& p : points) {
            const QJsonObject point = p.toObject();
            QString t = point.value(QLatin1StringView("t")).toString();
            benchmark::DoNotOptimize(t);
            sum += point.value(QLatin1StringView("v")).toDouble();
        }
        benchmark::DoNotOptimize(sum);
    }
    setCounters(state);
}
BENCHMARK(BM_QJsonDocumentParseAndWalk);

}  // namespace

BENCHMARK_MAIN();
