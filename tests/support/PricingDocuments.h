#pragma once

#include <initializer_list>

#include <QByteArray>

namespace mintlux::test {

struct EntryText {
    QByteArray code;
    QByteArray value;
    QByteArray unit = "troyOunce";
    QByteArray prevClose = {};  // empty: key left out
};

// A latest-prices document as the pricing API writes it.
inline QByteArray latestDocument(const QByteArray& currency,
                                 std::initializer_list<EntryText> entries,
                                 const QByteArray& asOf = "2025-01-31T14:05:09Z") {
    QByteArray prices;
    for (const EntryText& e : entries) {
        if (!prices.isEmpty()) {
            prices += ',';
        }
        prices += '"' + e.code + "\":{\"value\":" + e.value + ",\"unit\":\"" + e.unit + '"';
        if (!e.prevClose.isEmpty()) {
            prices += ",\"prev_close\":" + e.prevClose;
        }
        prices += '}';
    }
    return "{\"currency\":\"" + currency + "\",\"prices\":{" + prices +
           "},\"stale\":false,\"as_of\":\"" + asOf + "\"}";
}

// `count` points one minute apart from 2025-01-01, valued 1000, 1001, ...
inline QByteArray historyDocument(int count, const QByteArray& unit = "troyOunce") {
    QByteArray points;
    points.reserve(count * 48);
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            points += ',';
        }
        const int minutes = i % 60;
        const int hours = (i / 60) % 24;
        const int day = 1 + (i / 1440) % 28;
        points += QByteArray("{\"t\":\"2025-01-") + (day < 10 ? "0" : "") +
                  QByteArray::number(day) + 'T' + (hours < 10 ? "0" : "") +
                  QByteArray::number(hours) + ':' + (minutes < 10 ? "0" : "") +
                  QByteArray::number(minutes) + ":00Z\",\"v\":" + QByteArray::number(1000 + i) +
                  '}';
    }
    return "{\"series\":\"XAU\",\"currency\":\"USD\",\"unit\":\"" + unit +
           "\",\"range\":\"1W\",\"points\":[" + points + "]}";
}

}  // namespace mintlux::test
