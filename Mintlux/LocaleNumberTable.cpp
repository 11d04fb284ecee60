#include "LocaleNumbers.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace mintlux::LocaleNumbers {

namespace {

// Offsets into kText, where each string is its length followed by its UTF-16 units. Offsets
// rather than pointers: the table needs no relocation, so it stays in clean file-backed pages
// of which a lookup touches a few.
struct Shape {
    std::uint16_t name;
    std::uint16_t decimal;
    std::uint16_t group;
    std::uint8_t primary;
    std::uint8_t secondary;
    std::uint8_t minimumGrouping;
    char16_t zero;
    std::uint16_t affixes[Currency::kRawValues.size()][2];  // prefix, suffix
    bool plainCovered;
    std::uint16_t plainDecimal;
    char16_t plainZero;
};

#include "NumberShapes.inc"

QStringView text(std::uint16_t offset) {
    return QStringView(kText + offset + 1, kText[offset]);
}

const Shape* find(const QString& locale) {
    const QString wanted = key(locale);
    const auto* it = std::lower_bound(std::begin(kShapes), std::end(kShapes), wanted,
                                      [](const Shape& shape, const QString& name) {
                                          return text(shape.name) < QStringView(name);
                                      });
    return it != std::end(kShapes) && text(it->name) == wanted ? it : nullptr;
}

}  // namespace

std::optional<QString> money(const Decimal& value, Currency currency, int fractionDigits,
                             const QString& locale) {
    const Shape* shape = find(locale);
    if (shape == nullptr) {
        return std::nullopt;
    }
    const auto& affixes = shape->affixes[currency.index()];
    return format(value, fractionDigits,
                  Layout{text(affixes[0]).toString(), text(affixes[1]).toString(),
                         text(shape->decimal).toString(), text(shape->group).toString(),
                         shape->primary, shape->secondary, shape->minimumGrouping, shape->zero});
}

std::optional<QString> plain(const Decimal& value, int fractionDigits, const QString& locale) {
    const Shape* shape = find(locale);
    if (shape == nullptr || !shape->plainCovered) {
        return std::nullopt;
    }
    Layout layout;
    layout.decimal = text(shape->plainDecimal).toString();
    layout.zero = shape->plainZero;
    return format(value, fractionDigits, layout);
}

}  // namespace mintlux::LocaleNumbers
