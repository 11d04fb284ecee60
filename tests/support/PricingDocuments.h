#pragma once

#include <initializer_list>

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

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
    QByteArrayList prices;
    for (const EntryText& e : entries) {
        prices << '"' + e.code + "\":{\"value\":" + e.value + ",\"unit\":\"" + e.unit + '"' +
                      (e.prevClose.isEmpty() ? QByteArray() : ",\"prev_close\":" + e.prevClose) +
                      '}';
    }
    return "{\"currency\":\"" + currency + "\",\"prices\":{" + prices.join(',') +
           "},\"stale\":false,\"as_of\":\"" + asOf + "\"}";
}

// `count` points one minute apart from 2025-01-01, valued 1000, 1001, ...
inline QByteArray historyDocument(int count, const QByteArray& unit = "troyOunce") {
    QByteArrayList points;
    points.reserve(count);
    for (int i = 0; i < count; ++i) {
        points << QString::asprintf(R"({"t":"2025-01-%02dT%02d:%02d:00Z","v":%d})",
                                    1 + (i / 1440) % 28, (i / 60) % 24, i % 60, 1000 + i)
                      .toLatin1();
    }
    return "{\"series\":\"XAU\",\"currency\":\"USD\",\"unit\":\"" + unit +
           "\",\"range\":\"1W\",\"points\":[" + points.join(',') + "]}";
}

}  // namespace mintlux::test
