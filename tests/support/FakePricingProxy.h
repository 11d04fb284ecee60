#pragma once

#include "market/Decimal.h"
#include "pricing/Futures.h"
#include "pricing/PricingProxyClient.h"

#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace mintlux::test {

// A back-end that answers at once with what the test put in, per currency; a currency with no
// answer fails like an unreachable server.
class FakePricingProxy : public PricingProxyClient {
public:
    struct Price {
        const char* code;
        const char* value;
        const char* prevClose = nullptr;
    };

    void setLatest(Currency currency, std::initializer_list<Price> prices,
                   Instant asOf = Instant(std::chrono::seconds(1'765'000'000))) {
        LatestPricesResponse response;
        response.currency = currency.rawValue();
        response.asOf = asOf;
        for (const Price& p : prices) {
            LatestPricesResponse::PriceEntry entry;
            entry.value = *Decimal::parse(std::string_view(p.value));
            if (p.prevClose != nullptr) {
                entry.prevClose = *Decimal::parse(std::string_view(p.prevClose));
            }
            entry.unit = QStringLiteral("troyOunce");
            response.prices.insert_or_assign(QString::fromLatin1(p.code), entry);
        }
        m_latest.insert_or_assign(currency, response);
    }
    void failLatest(Currency currency) { m_latest.erase(currency); }

    QFuture<LatestPricesResponse> fetchLatest(Currency currency) override {
        ++fetches[currency];
        const auto it = m_latest.find(currency);
        if (it == m_latest.end()) {
            return Futures::failed<LatestPricesResponse>(
                std::make_exception_ptr(std::runtime_error("no answer configured")));
        }
        return Futures::ready(LatestPricesResponse(it->second));
    }

    QFuture<HistoryResponse> fetchHistory(MetalSeries, TimeRange, Currency, MetalUnit) override {
        return Futures::failed<HistoryResponse>(
            std::make_exception_ptr(std::runtime_error("no history here")));
    }

    std::unordered_map<Currency, int> fetches;

private:
    std::unordered_map<Currency, LatestPricesResponse> m_latest;
};

}  // namespace mintlux::test
