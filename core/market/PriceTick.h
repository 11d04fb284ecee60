#pragma once

#include "json/Json.h"
#include "market/Currency.h"
#include "market/Decimal.h"
#include "market/Hashing.h"
#include "market/Instant.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"
#include "market/PricingConcepts.h"

#include <optional>
#include <stdexcept>

namespace mintlux {

// One latest observation of a metal's price, with the previous close the day's change is
// measured from. Immutable; no validation (a zero or negative value is kept as given).
template <PricingSeries Series, PricingUnit Unit>
class PriceTick {
public:
    PriceTick(Series series, Decimal value, Unit unit, Currency currency, Instant timestamp,
              std::optional<Decimal> prevClose)
        : m_series(series),
          m_value(value),
          m_unit(unit),
          m_currency(currency),
          m_timestamp(timestamp),
          m_prevClose(prevClose) {}

    Series series() const { return m_series; }
    const Decimal& value() const { return m_value; }
    Unit unit() const { return m_unit; }
    Currency currency() const { return m_currency; }
    Instant timestamp() const { return m_timestamp; }
    const std::optional<Decimal>& prevClose() const { return m_prevClose; }

    std::optional<Decimal> changeAbsolute() const {
        if (!m_prevClose) {
            return std::nullopt;
        }
        try {
            return m_value - *m_prevClose;
        } catch (const std::overflow_error&) {
            return std::nullopt;  // past the decimal's range: no figure would be true
        }
    }

    // In percent (2.5 is a 2.5 % rise): the difference over the close first, then times 100,
    // each step rounding as decimal arithmetic does.
    std::optional<Decimal> changePercent() const {
        if (!m_prevClose || m_prevClose->isZero()) {
            return std::nullopt;
        }
        try {
            const Decimal difference = m_value - *m_prevClose;
            const Decimal ratio = difference / *m_prevClose;
            return ratio * Decimal(100);
        } catch (const std::overflow_error&) {
            return std::nullopt;  // a close near zero against a large price has no percentage
        }
    }

    // The change the user is shown: anything under a hundredth of a percent counts as none.
    std::optional<Decimal> significantChangePercent() const {
        static const Decimal threshold = *Decimal::parse("0.01");
        const auto percent = changePercent();
        if (!percent || percent->magnitude() < threshold) {
            return std::nullopt;
        }
        return percent;
    }

    friend bool operator==(const PriceTick&, const PriceTick&) = default;
    std::size_t hash() const noexcept {
        return qHashMulti(0, m_series, m_value, m_unit, m_currency, hashKey(m_timestamp),
                          m_prevClose);
    }
    friend std::size_t qHash(const PriceTick& t, std::size_t seed = 0) noexcept {
        return qHashMulti(seed, t.hash());
    }

    // Keys "series", "value", "unit", "currency", "timestamp", "prevClose" (only when present).
    void writeJson(JsonWriter& w) const;
    static PriceTick readJson(JsonValue& v);
    QByteArray toJson() const { return Json::encode(*this); }
    static PriceTick fromJson(QByteArrayView bytes) { return Json::decode<PriceTick>(bytes); }

private:
    Series m_series;
    Decimal m_value;
    Unit m_unit;
    Currency m_currency;
    Instant m_timestamp;
    std::optional<Decimal> m_prevClose;
};

// The only instantiation the system uses; its codec is compiled once in PriceTick.cpp.
using MetalPriceTick = PriceTick<MetalSeries, MetalUnit>;
extern template class PriceTick<MetalSeries, MetalUnit>;

}  // namespace mintlux

template <mintlux::PricingSeries S, mintlux::PricingUnit U>
struct std::hash<mintlux::PriceTick<S, U>> {
    std::size_t operator()(const mintlux::PriceTick<S, U>& t) const noexcept { return t.hash(); }
};
