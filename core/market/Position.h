#pragma once

#include "json/Json.h"
#include "market/Currency.h"
#include "market/Decimal.h"
#include "market/Hashing.h"
#include "market/MetalSeries.h"
#include "market/MetalUnit.h"

#include <optional>

#include <QString>
#include <QUuid>

namespace mintlux {

// One purchase lot: how much of a metal was bought and at what average cost per unit.
// Identified by `id`, but equal only when every field is.
class Position {
public:
    Position(QUuid id, MetalSeries series, Decimal quantity, MetalUnit quantityUnit,
             Decimal avgCostPerUnit, Currency costCurrency, MetalUnit purchaseUnit,
             std::optional<QString> notes);

    // A fresh random (version 4) 128-bit identifier.
    static QUuid newId() { return QUuid::createUuid(); }

    QUuid id() const { return m_id; }
    MetalSeries series() const { return m_series; }
    const Decimal& quantity() const { return m_quantity; }
    MetalUnit quantityUnit() const { return m_quantityUnit; }
    const Decimal& avgCostPerUnit() const { return m_avgCostPerUnit; }
    Currency costCurrency() const { return m_costCurrency; }
    MetalUnit purchaseUnit() const { return m_purchaseUnit; }
    const std::optional<QString>& notes() const { return m_notes; }

    void setSeries(MetalSeries series) { m_series = series; }
    void setQuantity(const Decimal& quantity) { m_quantity = quantity; }
    void setQuantityUnit(MetalUnit unit) { m_quantityUnit = unit; }
    void setAvgCostPerUnit(const Decimal& cost) { m_avgCostPerUnit = cost; }
    void setCostCurrency(Currency currency) { m_costCurrency = currency; }
    void setPurchaseUnit(MetalUnit unit) { m_purchaseUnit = unit; }
    void setNotes(std::optional<QString> notes) { m_notes = std::move(notes); }

    friend bool operator==(const Position&, const Position&) = default;
    std::size_t hash() const noexcept;
    friend std::size_t qHash(const Position& p, std::size_t seed = 0) noexcept {
        return qHashMulti(seed, p.hash());
    }

    // Keys in field order; "notes" only when present; the id in its 36-character text form.
    void writeJson(JsonWriter& w) const;
    static Position readJson(JsonValue& v);
    QByteArray toJson() const { return Json::encode(*this); }
    static Position fromJson(QByteArrayView bytes) { return Json::decode<Position>(bytes); }

private:
    QUuid m_id;
    MetalSeries m_series;
    Decimal m_quantity;
    MetalUnit m_quantityUnit;
    Decimal m_avgCostPerUnit;
    Currency m_costCurrency;
    MetalUnit m_purchaseUnit;
    std::optional<QString> m_notes;
};

}  // namespace mintlux

template <>
struct std::hash<mintlux::Position> {
    std::size_t operator()(const mintlux::Position& p) const noexcept { return p.hash(); }
};
