#pragma once

#include "market/Vocabulary.h"

namespace mintlux {

namespace detail {
enum class CurrencyCase : std::uint8_t { usd, inr, eur, gbp, aed };
}

// The five display currencies, identified by their ISO 4217 codes.
class Currency : public Vocabulary<Currency, detail::CurrencyCase, 5> {
public:
    using enum detail::CurrencyCase;
    constexpr Currency(Case c) noexcept : Vocabulary(c) {}  // NOLINT

    // The dirham has no single-character sign in common use; its code stands in.
    QString symbol() const { return detail::staticText(kSymbols[index()]); }
    QString displayName() const { return detail::staticText(kDisplayNames[index()]); }

    static constexpr std::array<std::u16string_view, 5> kRawValues{u"USD", u"INR", u"EUR", u"GBP",
                                                                   u"AED"};
    static constexpr std::string_view kTypeName = "Currency";

private:
    static constexpr std::array<std::u16string_view, 5> kSymbols{u"$", u"\u20B9", u"\u20AC",
                                                                 u"\u00A3", u"AED"};
    static constexpr std::array<std::u16string_view, 5> kDisplayNames{
        u"US Dollar", u"Indian Rupee", u"Euro", u"British Pound", u"UAE Dirham"};
};

}  // namespace mintlux
