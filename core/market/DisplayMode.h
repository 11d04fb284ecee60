#pragma once

#include "market/Vocabulary.h"

namespace mintlux {

namespace detail {
enum class DisplayModeCase : std::uint8_t {
    priceOnly,
    priceAndDelta,
    vaultValue,
    vaultValueAndDelta
};
}

// What the status item shows.
class DisplayMode : public Vocabulary<DisplayMode, detail::DisplayModeCase, 4> {
public:
    using enum detail::DisplayModeCase;
    constexpr DisplayMode(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    QString displayName() const { return detail::staticText(kDisplayNames[index()]); }

    static constexpr std::array<std::u16string_view, 4> kRawValues{
        u"priceOnly", u"priceAndDelta", u"vaultValue", u"vaultValueAndDelta"};
    static constexpr std::string_view kTypeName = "DisplayMode";

private:
    static constexpr std::array<std::u16string_view, 4> kDisplayNames{
        u"Spot price", u"Spot price + Delta", u"Vault value", u"Vault value + Delta"};
};

}  // namespace mintlux
