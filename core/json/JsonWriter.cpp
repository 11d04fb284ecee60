#include "json/JsonWriter.h"

#include "json/Iso8601.h"

#include <charconv>

#include <QString>

namespace mintlux {

void JsonWriter::beforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_firstInScope.empty()) {
        if (!m_firstInScope.back()) {
            m_out.append(',');
        }
        m_firstInScope.back() = false;
    }
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    m_out.append('{');
    m_firstInScope.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    m_out.append('}');
    m_firstInScope.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    m_out.append('[');
    m_firstInScope.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    m_out.append(']');
    m_firstInScope.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    appendEscaped(name);
    m_out.append(':');
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::string(QStringView text) {
    return string(text.toUtf8().toStdString());
}

JsonWriter& JsonWriter::string(std::string_view utf8) {
    beforeValue();
    appendEscaped(utf8);
    return *this;
}

JsonWriter& JsonWriter::number(const Decimal& value) {
    beforeValue();
    m_out.append(value.toString());
    return *this;
}

JsonWriter& JsonWriter::integer(std::int64_t value) {
    beforeValue();
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    m_out.append(buf, res.ptr - buf);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    beforeValue();
    m_out.append(value ? "true" : "false");
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    m_out.append("null");
    return *this;
}

JsonWriter& JsonWriter::date(Instant instant) {
    return string(m_dates == Dates::milliseconds ? Iso8601::formatMilliseconds(instant)
                                                 : Iso8601::format(instant));
}

QByteArray JsonWriter::take() {
    m_firstInScope.clear();
    m_afterKey = false;
    return std::exchange(m_out, {});
}

void JsonWriter::appendEscaped(std::string_view utf8) {
    static constexpr char hex[] = "0123456789abcdef";
    m_out.append('"');
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                m_out.append("\\\"");
                break;
            case '\\':
                m_out.append("\\\\");
                break;
            case '\n':
                m_out.append("\\n");
                break;
            case '\r':
                m_out.append("\\r");
                break;
            case '\t':
                m_out.append("\\t");
                break;
            default:
                if (u < 0x20) {
                    const char esc[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 0xf]};
                    m_out.append(esc, sizeof esc);
                } else {
                    m_out.append(c);
                }
        }
    }
    m_out.append('"');
}

}  // namespace mintlux
