#pragma once

#include "market/AssetClass.h"
#include "market/Vocabulary.h"

namespace mintlux {

namespace detail {
enum class MetalSeriesCase : std::uint8_t { gold, silver, platinum, palladium };
}

// The four tracked metals; the raw value is the metal's code on the wire and in preferences.
class MetalSeries : public Vocabulary<MetalSeries, detail::MetalSeriesCase, 4> {
public:
    using enum detail::MetalSeriesCase;
    constexpr MetalSeries(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    static constexpr AssetClass assetClass() noexcept { return AssetClass::metals; }
    QString displayName() const { return detail::staticText(kDisplayNames[index()]); }
    QString symbolForUI() const { return detail::staticText(kSymbols[index()]); }

    static constexpr std::array<std::u16string_view, 4> kRawValues{u"XAU", u"XAG", u"XPT", u"XPD"};
    static constexpr std::string_view kTypeName = "MetalSeries";

private:
    static constexpr std::array<std::u16string_view, 4> kDisplayNames{u"Gold", u"Silver",
                                                                      u"Platinum", u"Palladium"};
    static constexpr std::array<std::u16string_view, 4> kSymbols{u"Au", u"Ag", u"Pt", u"Pd"};
};

}  // namespace mintlux
