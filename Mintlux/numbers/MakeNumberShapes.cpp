// Writes NumberShapes.inc: for every locale Qt knows, the shape ICU gives its amounts in the
// five currencies and its plain numbers, kept only where formatting by that shape reproduces
// ICU's own text for every probe below.
#include "IcuNumbers.h"
#include "LocaleNumbers.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

#include <QLocale>

#include <unicode/uversion.h>

using namespace mintlux;
using LocaleNumbers::Layout;

namespace {

const std::vector<Decimal> kProbes = [] {
    std::vector<Decimal> probes;
    for (const char* text :
         {"0",        "0.004",  "0.005",  "0.015",       "1",          "9.995", "12",
          "99.994",   "99.995", "100.5",  "101.5",       "123",        "999.5", "1234",
          "1234.565", "12345",  "123456", "1234567.891", "12345678.5", "1e20",  "1e-20"}) {
        probes.push_back(*Decimal::parse(std::string_view(text)));
    }
    return probes;
}();

// Separates ICU's text for 1234567.89 into affixes, digits and the separators between them.
std::optional<Layout> split(const QString& text) {
    qsizetype first = -1;
    qsizetype last = -1;
    char16_t zero = 0;
    std::vector<QString> gaps;
    QString digits;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.digitValue() < 0) {
            if (first >= 0) {
                gaps.back() += c;
            }
            continue;
        }
        if (first < 0) {
            first = i;
            zero = static_cast<char16_t>(c.unicode() - c.digitValue());
        } else if (c.unicode() - c.digitValue() != zero) {
            return std::nullopt;  // two numbering systems in one number
        }
        last = i;
        digits += QChar(u'0' + c.digitValue());
        gaps.emplace_back();
    }
    if (digits != QStringLiteral("123456789")) {
        return std::nullopt;
    }
    Layout layout;
    layout.zero = zero;
    layout.prefix = text.left(first);
    layout.suffix = text.mid(last + 1);
    layout.decimal = gaps[6];
    std::vector<int> rightCounts;  // integer digits right of each separator, nearest first
    for (int i = 5; i >= 0; --i) {
        if (gaps[static_cast<std::size_t>(i)].isEmpty()) {
            continue;
        }
        if (!layout.group.isEmpty() && gaps[static_cast<std::size_t>(i)] != layout.group) {
            return std::nullopt;
        }
        layout.group = gaps[static_cast<std::size_t>(i)];
        rightCounts.push_back(6 - i);
    }
    if (!rightCounts.empty()) {
        layout.primary = rightCounts[0];
        layout.secondary =
            rightCounts.size() > 1 ? rightCounts[1] - rightCounts[0] : layout.primary;
    }
    if (layout.decimal.isEmpty() || !gaps[7].isEmpty()) {
        return std::nullopt;
    }
    return layout;
}

template <class Reference>
bool reproduces(Layout& layout, Reference reference) {
    for (int minimum = 1; minimum <= 3; ++minimum) {
        layout.minimumGrouping = minimum;
        bool all = true;
        for (const Decimal& probe : kProbes) {
            for (int digits : {0, 2}) {
                all =
                    all && LocaleNumbers::format(probe, digits, layout) == reference(probe, digits);
            }
        }
        if (all) {
            return true;
        }
    }
    return false;
}

struct Entry {
    QString name;
    Layout money;
    std::array<std::pair<QString, QString>, 5> affixes;
    std::optional<Layout> plain;
};

std::optional<Entry> shapeOf(const QString& locale) {
    static const Decimal probe = *Decimal::parse(std::string_view("1234567.891"));
    Entry entry{LocaleNumbers::key(locale), {}, {}, {}};
    for (const Currency currency : Currency::allCases()) {
        const auto text = IcuNumbers::money(probe, currency, 2, locale);
        std::optional<Layout> layout = text ? split(*text) : std::nullopt;
        if (!layout || !reproduces(*layout, [&](const Decimal& value, int digits) {
                return IcuNumbers::money(value, currency, digits, locale);
            })) {
            return std::nullopt;
        }
        entry.affixes[currency.index()] = {layout->prefix, layout->suffix};
        layout->prefix.clear();
        layout->suffix.clear();
        const Layout& m = entry.money;
        if (currency.index() > 0 &&
            (m.decimal != layout->decimal || m.group != layout->group ||
             m.primary != layout->primary || m.secondary != layout->secondary ||
             m.minimumGrouping != layout->minimumGrouping || m.zero != layout->zero)) {
            return std::nullopt;
        }
        entry.money = *layout;
    }
    if (const auto text = IcuNumbers::plain(probe, 2, locale)) {
        std::optional<Layout> layout = split(*text);
        if (layout && layout->prefix.isEmpty() && layout->suffix.isEmpty() &&
            layout->primary == 0 && reproduces(*layout, [&](const Decimal& value, int digits) {
                return IcuNumbers::plain(value, digits, locale);
            })) {
            entry.plain = layout;
        }
    }
    return entry;
}

class Strings {
public:
    std::uint16_t add(const QString& text) {
        const auto [it, added] = m_offsets.try_emplace(text, m_units.size());
        if (added) {
            m_units.push_back(static_cast<char16_t>(text.size()));
            for (const QChar c : text) {
                m_units.push_back(c.unicode());
            }
        }
        return static_cast<std::uint16_t>(it->second);
    }
    const std::vector<char16_t>& units() const { return m_units; }

private:
    std::map<QString, std::size_t> m_offsets;
    std::vector<char16_t> m_units;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-number-shapes OUTPUT\n";
        return 2;
    }
    // The ids PriceFormatter::userLocale() gives: Qt's BCP 47 names, and ICU's POSIX locale.
    // Each is formatted by ICU under the id the app passes, and looked up by its key.
    std::map<QString, QString> locales;  // key -> id as the app passes it
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        if (locale.language() != QLocale::C) {
            // "en" for en_US: Qt leaves out the likely territory. ICU ids as tests and
            // callers spell them ("en_US") are covered too.
            for (const QString& id : {locale.bcp47Name(), locale.name()}) {
                locales.emplace(LocaleNumbers::key(id), id);
            }
        }
    }
    locales.emplace(LocaleNumbers::key(QStringLiteral("en_US_POSIX")),
                    QStringLiteral("en_US_POSIX"));

    Strings strings;
    std::vector<std::string> rows;
    std::size_t left = 0;
    for (const auto& [key, id] : locales) {
        const std::optional<Entry> entry = shapeOf(id);
        if (!entry) {
            ++left;
            continue;
        }
        const Layout& m = entry->money;
        std::string row = "    {" + std::to_string(strings.add(key)) + ", " +
                          std::to_string(strings.add(m.decimal)) + ", " +
                          std::to_string(strings.add(m.group)) + ", " + std::to_string(m.primary) +
                          ", " + std::to_string(m.secondary) + ", " +
                          std::to_string(m.minimumGrouping) + ", " + std::to_string(m.zero) + ", {";
        for (const auto& [prefix, suffix] : entry->affixes) {
            row += "{" + std::to_string(strings.add(prefix)) + ", " +
                   std::to_string(strings.add(suffix)) + "}, ";
        }
        row += "}, " + std::string(entry->plain ? "true" : "false") + ", " +
               std::to_string(entry->plain ? strings.add(entry->plain->decimal) : 0) + ", " +
               std::to_string(entry->plain ? entry->plain->zero : u'0') + "},\n";
        rows.push_back(std::move(row));
    }
    if (strings.units().size() > 0xFFFF) {
        std::cerr << "make-number-shapes: the strings outgrow 16-bit offsets\n";
        return 1;
    }
    std::ofstream out(argv[1]);
    out << "// Generated by make-number-shapes from ICU " U_ICU_VERSION "; " << rows.size()
        << " locales, " << left << " left to ICU.\n";
    out << "constexpr char16_t kText[] = {";
    for (std::size_t i = 0; i < strings.units().size(); ++i) {
        out << (i % 16 == 0 ? "\n    " : " ") << static_cast<unsigned>(strings.units()[i]) << ",";
    }
    out << "\n};\nconstexpr Shape kShapes[] = {\n";
    for (const std::string& row : rows) {
        out << row;
    }
    out << "};\n";
    return out ? 0 : 1;
}
