#include "providers/UpstreamJson.h"

#include "json/Json.h"
#include "providers/MarketProviders.h"

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

}  // namespace mintlux::server::UpstreamJson
