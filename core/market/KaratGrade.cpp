#include "market/KaratGrade.h"

#include "json/JsonValue.h"

#include <string>

namespace mintlux {

const Decimal& KaratGrade::purity() const {
    static const std::array<Decimal, 5> purities{
        *Decimal::parse("0.4170"), *Decimal::parse("0.5850"), *Decimal::parse("0.7500"),
        *Decimal::parse("0.9170"), *Decimal::parse("0.9999")};
    return purities[m_case];
}

KaratGrade KaratGrade::readJson(JsonValue& v) {
    const std::int64_t raw = v.integer();
    if (auto grade = fromRawValue(raw)) {
        return *grade;
    }
    Json::failInvalidRawValue(v, "KaratGrade", std::to_string(raw));
}

}  // namespace mintlux
