#include "providers/UpstreamJson.h"

#include "json/Json.h"

#include <algorithm>

namespace mintlux::server::UpstreamJson {

void parse(QByteArrayView body, std::string_view upstream,
           const std::function<void(JsonValue&)>& read) {
    try {
        Json::threadParser().parse(body, read);
    } catch (const DecodingError& e) {
        throw ProviderError(std::string(upstream) +
                            " answered an unreadable document: " + e.what());
    }
}

Decimal positive(JsonValue& value) {
    const Decimal d = value.decimal();
    if (d.signum() <= 0) {
        value.fail(DecodingError::Kind::dataCorrupted,
                   "Expected a positive number but found " + d.toString());
    }
    return d;
}

QDate day(JsonValue& value) {
    const std::string_view text = value.string();
    const QDate date =
        text.size() == 10 ? QDate::fromString(QString::fromLatin1(text), Qt::ISODate) : QDate();
    if (!date.isValid()) {
        value.fail(DecodingError::Kind::dataCorrupted, "Invalid date \"" + std::string(text) + '"');
    }
    return date;
}

std::vector<DailyClose> inDateOrder(std::vector<DailyClose> closes, std::string_view upstream) {
    std::stable_sort(closes.begin(), closes.end(),
                     [](const DailyClose& a, const DailyClose& b) { return a.date < b.date; });
    const auto repeated = std::adjacent_find(
        closes.begin(), closes.end(),
        [](const DailyClose& a, const DailyClose& b) { return a.date == b.date; });
    if (repeated != closes.end()) {
        throw ProviderError(std::string(upstream) + " series has two prices for " +
                            repeated->date.toString(Qt::ISODate).toStdString());
    }
    return closes;
}

}  // namespace mintlux::server::UpstreamJson
