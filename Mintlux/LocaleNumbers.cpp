#include "LocaleNumbers.h"

#include <algorithm>
#include <string>

namespace mintlux::LocaleNumbers {

namespace {

// Half to even on the decimal text itself: no double ever holds the amount.
void round(std::string& integer, std::string& fraction, int fractionDigits) {
    const auto kept = static_cast<std::size_t>(fractionDigits);
    bool up = false;
    if (fraction.size() > kept) {
        const char first = fraction[kept];
        if (first > '5') {
            up = true;
        } else if (first == '5') {
            const bool beyondHalf =
                std::any_of(fraction.begin() + static_cast<std::ptrdiff_t>(kept) + 1,
                            fraction.end(), [](char c) { return c != '0'; });
            const char last = kept > 0 ? fraction[kept - 1] : integer.back();
            up = beyondHalf || (last - '0') % 2 == 1;
        }
    }
    fraction.resize(kept, '0');
    std::string digits = integer + fraction;
    if (up) {
        auto it = digits.rbegin();
        for (; it != digits.rend() && *it == '9'; ++it) {
            *it = '0';
        }
        if (it == digits.rend()) {
            digits.insert(digits.begin(), '1');
        } else {
            ++*it;
        }
    }
    integer = digits.substr(0, digits.size() - kept);
    fraction = digits.substr(digits.size() - kept);
}

void appendDigits(QString& out, const std::string& digits, char16_t zero) {
    for (const char c : digits) {
        out += QChar(static_cast<char16_t>(zero + (c - '0')));
    }
}

}  // namespace

std::optional<QString> format(const Decimal& value, int fractionDigits, const Layout& layout) {
    if (value.isNegative()) {
        return std::nullopt;
    }
    const std::string text = value.toString();
    const std::size_t point = text.find('.');
    std::string integer = text.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
    round(integer, fraction, fractionDigits);

    QString out = layout.prefix;
    const auto length = static_cast<int>(integer.size());
    if (layout.primary > 0 && length >= layout.primary + layout.minimumGrouping) {
        // Group boundaries counted from the right: the primary group, then secondary ones.
        std::string::size_type start = 0;
        int head = (length - layout.primary) % layout.secondary;
        if (head == 0) {
            head = layout.secondary;
        }
        for (int left = length - layout.primary; left > 0;) {
            appendDigits(out, integer.substr(start, static_cast<std::size_t>(head)), layout.zero);
            out += layout.group;
            start += static_cast<std::size_t>(head);
            left -= head;
            head = layout.secondary;
        }
        appendDigits(out, integer.substr(start), layout.zero);
    } else {
        appendDigits(out, integer, layout.zero);
    }
    if (fractionDigits > 0) {
        out += layout.decimal;
        appendDigits(out, fraction, layout.zero);
    }
    return out + layout.suffix;
}

QString key(const QString& locale) {
    QString k = locale;
    return k.replace(QLatin1Char('_'), QLatin1Char('-'));
}

}  // namespace mintlux::LocaleNumbers
