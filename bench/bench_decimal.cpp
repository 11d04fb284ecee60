#include "market/Decimal.h"

#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

using mintlux::Decimal;

namespace {

Decimal dec(std::string_view text) {
    return Decimal::parse(text).value();
}

// Price-like operands (a spot price and grams per troy ounce) and full 38-digit ones.
const Decimal kPrice = dec("2034.56");
const Decimal kFactor = dec("31.1034768");
const Decimal kLongA = dec("1234567890.1234567890123456789012345678");
const Decimal kLongB = dec("0.98765432109876543210987654321098765432");

template <class Op>
void binary(benchmark::State& state, const Decimal& a, const Decimal& b, Op op) {
    Decimal x = a;
    Decimal y = b;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        Decimal r = op(x, y);
        benchmark::DoNotOptimize(r);
    }
}

const auto kAdd = [](const Decimal& a, const Decimal& b) { return a + b; };
const auto kSub = [](const Decimal& a, const Decimal& b) { return a - b; };
const auto kMul = [](const Decimal& a, const Decimal& b) { return a * b; };
const auto kDiv = [](const Decimal& a, const Decimal& b) { return a / b; };

void BM_AddPrice(benchmark::State& s) {
    binary(s, kPrice, kFactor, kAdd);
}
void BM_AddLong(benchmark::State& s) {
    binary(s, kLongA, kLongB, kAdd);
}
void BM_AddWideGap(benchmark::State& s) {
    binary(s, kLongA, dec("1.2345678901234567890123456789012345678e-60"), kAdd);
}
void BM_SubtractPrice(benchmark::State& s) {
    binary(s, kPrice, kFactor, kSub);
}
void BM_SubtractLong(benchmark::State& s) {
    binary(s, kLongA, kLongB, kSub);
}
void BM_MultiplyPrice(benchmark::State& s) {
    binary(s, kPrice, kFactor, kMul);
}
void BM_MultiplyLong(benchmark::State& s) {
    binary(s, kLongA, kLongB, kMul);
}
void BM_DividePrice(benchmark::State& s) {
    binary(s, kPrice, kFactor, kDiv);
}
void BM_DivideLong(benchmark::State& s) {
    binary(s, kLongA, kLongB, kDiv);
}

void parse(benchmark::State& state, std::string text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.data());
        auto d = Decimal::parse(text);
        benchmark::DoNotOptimize(d);
    }
}

void BM_ParseShort(benchmark::State& s) {
    parse(s, "2034.56");
}
void BM_ParseLong(benchmark::State& s) {
    parse(s, "1234567890.1234567890123456789012345678");
}

void toString(benchmark::State& state, const Decimal& value) {
    Decimal d = value;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        std::string text = d.toString();
        benchmark::DoNotOptimize(text);
    }
}

void BM_ToStringShort(benchmark::State& s) {
    toString(s, kPrice);
}
void BM_ToStringLong(benchmark::State& s) {
    toString(s, kLongA);
}

}  // namespace

BENCHMARK(BM_AddPrice);
BENCHMARK(BM_AddLong);
BENCHMARK(BM_AddWideGap);
BENCHMARK(BM_SubtractPrice);
BENCHMARK(BM_SubtractLong);
BENCHMARK(BM_MultiplyPrice);
BENCHMARK(BM_MultiplyLong);
BENCHMARK(BM_DividePrice);
BENCHMARK(BM_DivideLong);
BENCHMARK(BM_ParseShort);
BENCHMARK(BM_ParseLong);
BENCHMARK(BM_ToStringShort);
BENCHMARK(BM_ToStringLong);
