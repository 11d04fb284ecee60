#include "providers/LbmaDailyProvider.h"

#include "providers/UpstreamJson.h"

#include <optional>

namespace mintlux::server {

namespace {

constexpr std::string_view kName = "LBMA";

// Each day's "v" lists the price in USD, GBP and EUR; only the first is the auction price, the
// others are indicative conversions.
std::optional<Decimal> usdPrice(JsonValue& prices) {
    std::optional<Decimal> usd;
    bool first = true;
    prices.forEachElement([&](JsonValue& price) {
        if (first) {
            usd = price.optionalDecimal();
        } else {
            price.skip();
        }
        first = false;
    });
    return usd;
}

}  // namespace

QUrl LbmaDailyProvider::defaultBaseUrl() {
    return QUrl(QStringLiteral("https://prices.lbma.org.uk/json/"));
}

QString LbmaDailyProvider::fileName(MetalSeries metal) {
    switch (metal.value()) {
        case MetalSeries::gold:
            return QStringLiteral("gold_pm.json");
        case MetalSeries::silver:
            return QStringLiteral("silver.json");
        case MetalSeries::platinum:
            return QStringLiteral("platinum_pm.json");
        case MetalSeries::palladium:
            return QStringLiteral("palladium_pm.json");
    }
    return {};
}

LbmaDailyProvider::LbmaDailyProvider(QNetworkAccessManager& network, QUrl baseUrl,
                                     std::chrono::milliseconds timeout)
    : m_baseUrl(std::move(baseUrl)), m_http(network, QString::fromLatin1(kName), timeout) {}

QString LbmaDailyProvider::name() const {
    return QString::fromLatin1(kName);
}

QFuture<std::vector<DailyClose>> LbmaDailyProvider::fetchDailyCloses(MetalSeries metal) {
    return m_http.fetch(UpstreamHttp::resolve(m_baseUrl, fileName(metal)), UpstreamHttp::Body::json,
                        &LbmaDailyProvider::parse);
}

std::vector<DailyClose> LbmaDailyProvider::parse(QByteArrayView body) {
    std::vector<DailyClose> closes;
    UpstreamJson::parse(body, kName, [&](JsonValue& root) {
        root.forEachElement([&](JsonValue& entry) {
            std::optional<QDate> date;
            std::optional<std::optional<Decimal>> usd;
            entry.forEachField([&](std::string_view key, JsonValue& field) {
                if (key == "d") {
                    field.readOnce(date, &UpstreamJson::day);
                } else if (key == "v") {
                    field.readOnce(usd, [](JsonValue& v) {
                        return v.readNull() ? std::nullopt : usdPrice(v);
                    });
                } else {
                    field.skip();
                }
            });
            const QDate day = entry.take(date, "d");
            const std::optional<Decimal> price = usd.value_or(std::nullopt);
            if (price && price->isNegative()) {
                entry.fail(DecodingError::Kind::dataCorrupted,
                           "Negative price " + price->toString());
            }
            // Null and zero both mean no auction price that day (holidays, the USD gaps of
            // 1968-1973): the day is left out rather than drawn at zero.
            if (price && !price->isZero()) {
                closes.push_back({day, *price});
            }
        });
    });
    if (closes.empty()) {
        throw ProviderError(std::string(kName) + " series has no priced day");
    }
    return UpstreamJson::inDateOrder(std::move(closes), kName);
}

}  // namespace mintlux::server
