#include "market/Position.h"

#include "json/JsonValue.h"

namespace mintlux {

namespace {

QUuid readUuid(JsonValue& v) {
    const std::string_view text = v.string();
    // Only the plain 8-4-4-4-12 form, in either letter case; braces and other spellings are
    // not what this record writes.
    const QUuid id =
        text.size() == 36
            ? QUuid::fromString(QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())))
            : QUuid();
    if (id.isNull() && text != "00000000-0000-0000-0000-000000000000") {
        v.fail(DecodingError::Kind::dataCorrupted, "Invalid UUID \"" + std::string(text) + "\"");
    }
    return id;
}

std::optional<QString> readNotes(JsonValue& v) {
    if (v.readNull()) {
        return std::nullopt;
    }
    return v.qstring();
}

}  // namespace

Position::Position(QUuid id, MetalSeries series, Decimal quantity, MetalUnit quantityUnit,
                   Decimal avgCostPerUnit, Currency costCurrency, MetalUnit purchaseUnit,
                   std::optional<QString> notes)
    : m_id(id),
      m_series(series),
      m_quantity(quantity),
      m_quantityUnit(quantityUnit),
      m_avgCostPerUnit(avgCostPerUnit),
      m_costCurrency(costCurrency),
      m_purchaseUnit(purchaseUnit),
      m_notes(std::move(notes)) {}

std::size_t Position::hash() const noexcept {
    return qHashMulti(0, m_id, m_series, m_quantity, m_quantityUnit, m_avgCostPerUnit,
                      m_costCurrency, m_purchaseUnit, m_notes.has_value(),
                      m_notes.value_or(QString()));
}

void Position::writeJson(JsonWriter& w) const {
    w.beginObject();
    w.key("id").string(m_id.toString(QUuid::WithoutBraces));
    w.key("series");
    m_series.writeJson(w);
    w.key("quantity").number(m_quantity);
    w.key("quantityUnit");
    m_quantityUnit.writeJson(w);
    w.key("avgCostPerUnit").number(m_avgCostPerUnit);
    w.key("costCurrency");
    m_costCurrency.writeJson(w);
    w.key("purchaseUnit");
    m_purchaseUnit.writeJson(w);
    if (m_notes) {
        w.key("notes").string(*m_notes);
    }
    w.endObject();
}

Position Position::readJson(JsonValue& v) {
    std::optional<QUuid> id;
    std::optional<MetalSeries> series;
    std::optional<Decimal> quantity;
    std::optional<MetalUnit> quantityUnit;
    std::optional<Decimal> avgCostPerUnit;
    std::optional<Currency> costCurrency;
    std::optional<MetalUnit> purchaseUnit;
    std::optional<std::optional<QString>> notes;
    v.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "id") {
            field.readOnce(id, &readUuid);
        } else if (key == "series") {
            field.readOnce(series, &MetalSeries::readJson);
        } else if (key == "quantity") {
            field.readOnce(quantity, &JsonValue::decimal);
        } else if (key == "quantityUnit") {
            field.readOnce(quantityUnit, &MetalUnit::readJson);
        } else if (key == "avgCostPerUnit") {
            field.readOnce(avgCostPerUnit, &JsonValue::decimal);
        } else if (key == "costCurrency") {
            field.readOnce(costCurrency, &Currency::readJson);
        } else if (key == "purchaseUnit") {
            field.readOnce(purchaseUnit, &MetalUnit::readJson);
        } else if (key == "notes") {
            field.readOnce(notes, &readNotes);
        } else {
            field.skip();
        }
    });
    const QUuid i = v.take(id, "id");
    const MetalSeries s = v.take(series, "series");
    const Decimal q = v.take(quantity, "quantity");
    const MetalUnit qu = v.take(quantityUnit, "quantityUnit");
    const Decimal c = v.take(avgCostPerUnit, "avgCostPerUnit");
    const Currency cc = v.take(costCurrency, "costCurrency");
    const MetalUnit pu = v.take(purchaseUnit, "purchaseUnit");
    return Position(i, s, q, qu, c, cc, pu, notes.value_or(std::nullopt));
}

}  // namespace mintlux
