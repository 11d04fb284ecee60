#pragma once

#include "market/AssetClass.h"
#include "market/Vocabulary.h"

namespace mintlux {

namespace detail {
enum class MetalUnitCase : std::uint8_t { troyOunce, gram, tola, kilo };
}

// Weight units a price or a holding is expressed in; masses in grams live in UnitConversion.
class MetalUnit : public Vocabulary<MetalUnit, detail::MetalUnitCase, 4> {
public:
    using enum detail::MetalUnitCase;
    constexpr MetalUnit(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    constexpr AssetClass assetClass() const noexcept { return AssetClass::metals; }
    QString displayLabel(bool shortForm) const {
        return detail::staticText(shortForm ? kShortLabels[index()] : kLongLabels[index()]);
    }

    static constexpr std::array<std::u16string_view, 4> kRawValues{u"troyOunce", u"gram", u"tola",
                                                                   u"kilo"};
    static constexpr std::string_view kTypeName = "MetalUnit";

private:
    static constexpr std::array<std::u16string_view, 4> kShortLabels{u"oz", u"g", u"tola", u"kg"};
    static constexpr std::array<std::u16string_view, 4> kLongLabels{u"troy ounce", u"gram", u"tola",
                                                                    u"kilogram"};
};

}  // namespace mintlux
