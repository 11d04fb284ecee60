#include "providers/GoldApiSpotProvider.h"

#include "providers/SpotRound.h"
#include "providers/UpstreamJson.h"

#include <optional>

namespace mintlux::server {

namespace {

constexpr std::string_view kName = "gold-api.com";

}  // namespace

QUrl GoldApiSpotProvider::defaultBaseUrl() {
    return QUrl(QStringLiteral("https://api.gold-api.com/price/"));
}

GoldApiSpotProvider::GoldApiSpotProvider(QNetworkAccessManager& network, QUrl baseUrl,
                                         std::chrono::milliseconds timeout)
    : m_baseUrl(std::move(baseUrl)), m_http(network, QString::fromLatin1(kName), timeout) {}

QString GoldApiSpotProvider::name() const {
    return QString::fromLatin1(kName);
}

QFuture<std::vector<SpotQuote>> GoldApiSpotProvider::fetchSpot() {
    return fetchSpotRound(&m_http, [this](MetalSeries metal) {
        const QUrl url = UpstreamHttp::resolve(m_baseUrl, metal.rawValue());
        return m_http.fetch(url, UpstreamHttp::Body::json,
                            [metal](QByteArrayView body) { return parse(body, metal); });
    });
}

SpotQuote GoldApiSpotProvider::parse(QByteArrayView body, MetalSeries metal) {
    std::optional<SpotQuote> quote;
    UpstreamJson::parse(body, kName, [&](JsonValue& root) {
        std::optional<Decimal> price;
        std::optional<Instant> updatedAt;
        std::optional<std::string> symbol;
        std::optional<std::string> currency;
        auto text = [](JsonValue& v) { return std::string(v.string()); };
        root.forEachField([&](std::string_view key, JsonValue& field) {
            if (key == "price") {
                field.readOnce(price, &UpstreamJson::positive);
            } else if (key == "updatedAt") {
                field.readOnce(updatedAt, &JsonValue::date);
            } else if (key == "symbol") {
                field.readOnce(symbol, text);
            } else if (key == "currency") {
                field.readOnce(currency, text);
            } else {
                field.skip();
            }
        });
        // The symbol and currency are checked because a price is only as good as what it is a
        // price of: a proxy or a changed default must not turn a EUR or BTC price into gold.
        const std::string expected = metal.rawValue().toStdString();
        if (const std::string found = root.take(symbol, "symbol"); found != expected) {
            root.fail(DecodingError::Kind::dataCorrupted,
                      "Expected symbol " + expected + " but found " + found);
        }
        if (currency && *currency != "USD") {
            root.fail(DecodingError::Kind::dataCorrupted,
                      "Expected currency USD but found " + *currency);
        }
        quote = SpotQuote{metal, root.take(price, "price"), root.take(updatedAt, "updatedAt")};
    });
    return std::move(*quote);
}

}  // namespace mintlux::server
