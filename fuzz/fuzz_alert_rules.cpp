// Feeds arbitrary bytes to the stored alert rules, as a hand-edited preferences file could hold
// them. Rejection must be a DecodingError; what is accepted must write back to bytes that decode
// to the same rules, and every accepted rule must go through the engine without anything
// escaping, whatever its level, unit or state.
#include "alerts/AlertEngine.h"
#include "alerts/AlertRule.h"
#include "json/DecodingError.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace mintlux;

[[noreturn]] void mismatch(const char* what, QByteArrayView input) {
    std::fprintf(stderr, "oracle mismatch: %s\ninput: %.*s\n", what, static_cast<int>(input.size()),
                 input.data());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    AlertRuleList list;
    try {
        list = Json::decode<AlertRuleList>(input);
    } catch (const DecodingError&) {
        return 0;
    }
    const QByteArray written = Json::encode(list);
    if (Json::decode<AlertRuleList>(written).rules != list.rules) {
        mismatch("rules changed through a write and a read", input);
    }
    AlertEngine engine;
    const Instant start = Instant{} + std::chrono::hours(24 * 20000);
    const char* prices[] = {"2400", "0.0001", "1e30", "2500", "2399"};
    int minute = 0;
    for (const char* price : prices) {
        const Instant at = start + std::chrono::minutes(++minute);
        for (const MetalSeries metal : MetalSeries::allCases()) {
            for (const Currency currency : Currency::allCases()) {
                const MetalPriceTick tick(metal, *Decimal::parse(std::string_view(price)),
                                          MetalUnit::troyOunce, currency, at, Decimal(2400));
                engine.evaluate(list.rules, tick, true, true, at);
            }
        }
    }
    return 0;
}
