#include "TitleFormat.h"

namespace mintlux::title {

namespace {

using namespace Qt::StringLiterals;

// The status item's own shades for a background it cannot see; panels are mostly dark.
constexpr auto kPositiveColor = "#34D059";
constexpr auto kNegativeColor = "#FF554A";

// The command a click runs; polled panels start it with their own PATH.
const QString kActivateCommand = u"mintlux-title --activate"_s;

// A line-based reader would take an embedded line break for the next title.
QString oneLine(QString text) {
    for (QChar& c : text) {
        if (c == u'\n' || c == u'\r' || c == u'\t') {
            c = u' ';
        }
    }
    return text;
}

QString pangoEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
            case u'&':
                out += u"&amp;"_s;
                break;
            case u'<':
                out += u"&lt;"_s;
                break;
            case u'>':
                out += u"&gt;"_s;
                break;
            case u'"':
                out += u"&quot;"_s;
                break;
            case u'\'':
                out += u"&#39;"_s;
                break;
            default:
                // Markup cannot carry other control characters at all.
                out += c.unicode() < 0x20 && c != u'\n' ? u' ' : c;
        }
    }
    return out;
}

const char* colorFor(const QString& style) {
    if (style == u"positive"_s) {
        return kPositiveColor;
    }
    if (style == u"negative"_s) {
        return kNegativeColor;
    }
    return nullptr;
}

// The segments, but never more or less than the text: a reader trusts the text first.
Segments segmentsOf(const TitleState& state) {
    QString joined;
    for (const Segment& s : state.segments) {
        joined += s.text;
    }
    if (joined != state.text) {
        return {Segment{state.text, u"none"_s}};
    }
    return state.segments;
}

QString pangoTitle(const TitleState& state) {
    QString out;
    for (const Segment& s : segmentsOf(state)) {
        const QString text = pangoEscaped(oneLine(s.text));
        if (const char* color = colorFor(s.style)) {
            out += u"<span foreground=\""_s + QLatin1String(color) + u"\">"_s + text + u"</span>"_s;
        } else {
            out += text;
        }
    }
    return out;
}

QString jsonString(const QString& text) {
    QString out = u"\""_s;
    for (QChar c : text) {
        switch (c.unicode()) {
            case u'"':
                out += u"\\\""_s;
                break;
            case u'\\':
                out += u"\\\\"_s;
                break;
            case u'\n':
                out += u"\\n"_s;
                break;
            default:
                // U+2028/9 end a line for some JavaScript-based readers.
                if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029) {
                    out += u"\\u%1"_s.arg(int{c.unicode()}, 4, 16, QLatin1Char('0'));
                } else {
                    out += c;
                }
        }
    }
    return out + u'"';
}

QString polybarText(const QString& text) {
    // Polybar knows no escape for a literal "%{"; a zero-width space keeps it from opening a tag.
    return oneLine(text).replace(u"%{"_s, u"%\u200B{"_s);
}

QString polybarTitle(const TitleState& state) {
    QString out = u"%{A1:"_s + kActivateCommand + u":}"_s;
    for (const Segment& s : segmentsOf(state)) {
        if (const char* color = colorFor(s.style)) {
            out += u"%{F"_s + QLatin1String(color) + u'}' + polybarText(s.text) + u"%{F-}"_s;
        } else {
            out += polybarText(s.text);
        }
    }
    return out + u"%{A}"_s;
}

}  // namespace

std::optional<Format> formatFromName(QStringView name) {
    static const std::pair<QStringView, Format> names[] = {
        {u"plain", Format::plain},   {u"pango", Format::pango},     {u"waybar", Format::waybar},
        {u"genmon", Format::genmon}, {u"polybar", Format::polybar},
    };
    for (const auto& [n, f] : names) {
        if (n == name) {
            return f;
        }
    }
    return std::nullopt;
}

QString formatTitle(const TitleState& state, Format format) {
    switch (format) {
        case Format::plain:
            return oneLine(state.text);
        case Format::pango:
            return pangoTitle(state);
        case Format::waybar:
            // Waybar reads text and tooltip as Pango markup.
            return u"{\"text\":"_s + jsonString(pangoTitle(state)) + u",\"tooltip\":"_s +
                   jsonString(pangoEscaped(state.tooltip)) + u",\"class\":"_s +
                   jsonString(state.direction) + u",\"alt\":"_s + jsonString(state.symbol) + u'}';
        case Format::genmon:
            return u"<txt>"_s + pangoTitle(state) + u"</txt><tool>"_s +
                   pangoEscaped(state.tooltip) + u"</tool><txtclick>"_s + kActivateCommand +
                   u"</txtclick>"_s;
        case Format::polybar:
            return polybarTitle(state);
    }
    return {};
}

TitleState absentState(const QString& lastSymbol, const QString& why) {
    TitleState state;
    state.text = lastSymbol.isEmpty() ? u"\u2014"_s : lastSymbol + u" \u2014"_s;
    state.segments = {Segment{state.text, u"none"_s}};
    state.tooltip = why;
    state.symbol = lastSymbol;
    return state;
}

QString unreachableTitle(Format format, const QString& why) {
    if (format != Format::genmon) {
        return {};
    }
    return u"<txt></txt><tool>"_s + pangoEscaped(why) + u"</tool>"_s;
}

}  // namespace mintlux::title
