#pragma once

#include "json/Json.h"
#include "market/Decimal.h"
#include "market/Hashing.h"
#include "market/Instant.h"
#include "market/MetalUnit.h"
#include "market/PricingConcepts.h"

namespace mintlux {

// One sample of a price history; its list is requested for one metal and one currency.
template <PricingUnit Unit>
class PricePoint {
public:
    PricePoint(Instant timestamp, Decimal value, Unit unit)
        : m_timestamp(timestamp), m_value(value), m_unit(unit) {}

    Instant timestamp() const { return m_timestamp; }
    const Decimal& value() const { return m_value; }
    Unit unit() const { return m_unit; }

    friend bool operator==(const PricePoint&, const PricePoint&) = default;
    std::size_t hash() const noexcept {
        return qHashMulti(0, hashKey(m_timestamp), m_value, m_unit);
    }
    friend std::size_t qHash(const PricePoint& p, std::size_t seed = 0) noexcept {
        return qHashMulti(seed, p.hash());
    }

    // Keys "timestamp", "value", "unit", all required.
    void writeJson(JsonWriter& w) const;
    static PricePoint readJson(JsonValue& v);
    QByteArray toJson() const { return Json::encode(*this); }
    static PricePoint fromJson(QByteArrayView bytes) { return Json::decode<PricePoint>(bytes); }

private:
    Instant m_timestamp;
    Decimal m_value;
    Unit m_unit;
};

using MetalPricePoint = PricePoint<MetalUnit>;
extern template class PricePoint<MetalUnit>;

}  // namespace mintlux

template <mintlux::PricingUnit U>
struct std::hash<mintlux::PricePoint<U>> {
    std::size_t operator()(const mintlux::PricePoint<U>& p) const noexcept { return p.hash(); }
};
