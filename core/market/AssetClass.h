#pragma once

#include "market/Vocabulary.h"

namespace mintlux {

namespace detail {
enum class AssetClassCase : std::uint8_t { metals };
}

// What a priced series or unit belongs to; the pricing abstractions require it.
class AssetClass : public Vocabulary<AssetClass, detail::AssetClassCase, 1> {
public:
    using enum detail::AssetClassCase;
    constexpr AssetClass(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    static constexpr std::array<std::u16string_view, 1> kRawValues{u"metals"};
    static constexpr std::string_view kTypeName = "AssetClass";
};

}  // namespace mintlux
