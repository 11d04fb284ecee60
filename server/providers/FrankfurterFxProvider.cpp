#include "providers/FrankfurterFxProvider.h"

#include "providers/UpstreamJson.h"

#include <algorithm>

#include <QUrlQuery>

namespace mintlux::server {

namespace {

constexpr std::string_view kName = "Frankfurter";
constexpr Currency kQuoted[] = {Currency::eur, Currency::gbp, Currency::inr};

}  // namespace

QUrl FrankfurterFxProvider::defaultBaseUrl() {
    return QUrl(QStringLiteral("https://api.frankfurter.dev/v1/"));
}

FrankfurterFxProvider::FrankfurterFxProvider(QNetworkAccessManager& network, QUrl baseUrl,
                                             std::chrono::milliseconds timeout)
    : m_baseUrl(std::move(baseUrl)), m_http(network, QString::fromLatin1(kName), timeout) {}

QString FrankfurterFxProvider::name() const {
    return QString::fromLatin1(kName);
}

QFuture<FxRates> FrankfurterFxProvider::fetchRates() {
    QUrl url = UpstreamHttp::resolve(m_baseUrl, QStringLiteral("latest"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("base"), QStringLiteral("USD"));
    query.addQueryItem(QStringLiteral("symbols"), QStringLiteral("EUR,GBP,INR"));
    url.setQuery(query);
    return m_http.fetch(url, UpstreamHttp::Body::json, &FrankfurterFxProvider::parse);
}

FxRates FrankfurterFxProvider::parse(QByteArrayView body) {
    FxRates rates;
    UpstreamJson::parse(body, kName, [&](JsonValue& root) {
        std::optional<Decimal> amount;
        std::optional<std::string> base;
        std::optional<QDate> date;
        std::optional<bool> sawRates;
        root.forEachField([&](std::string_view key, JsonValue& field) {
            if (key == "amount") {
                field.readOnce(amount, &JsonValue::decimal);
            } else if (key == "base") {
                field.readOnce(base, [](JsonValue& v) { return std::string(v.string()); });
            } else if (key == "date") {
                field.readOnce(date, &UpstreamJson::day);
            } else if (key == "rates") {
                field.readOnce(sawRates, [&](JsonValue& map) {
                    map.forEachField([&](std::string_view code, JsonValue& rate) {
                        const auto currency = Currency::fromRawValue(code);
                        if (!currency) {
                            rate.skip();
                            return;
                        }
                        if (rates.perUsd.contains(*currency)) {
                            rate.fail(DecodingError::Kind::dataCorrupted, "Duplicate key");
                        }
                        rates.perUsd.emplace(*currency, UpstreamJson::positive(rate));
                    });
                    return true;
                });
            } else {
                field.skip();
            }
        });
        // Rates for any other amount or base would be silently wrong by that factor.
        if (const std::string found = root.take(base, "base"); found != "USD") {
            root.fail(DecodingError::Kind::dataCorrupted, "Expected base USD but found " + found);
        }
        if (amount && *amount != Decimal(1)) {
            root.fail(DecodingError::Kind::dataCorrupted,
                      "Expected amount 1 but found " + amount->toString());
        }
        rates.date = root.take(date, "date");
        root.take(sawRates, "rates");
    });
    for (const Currency currency : kQuoted) {
        if (!rates.perUsd.contains(currency)) {
            throw ProviderError(std::string(kName) + " has no USD/" +
                                currency.rawValue().toStdString() + " rate for " +
                                rates.date.toString(Qt::ISODate).toStdString());
        }
    }
    std::erase_if(rates.perUsd, [](const auto& entry) {
        return std::find(std::begin(kQuoted), std::end(kQuoted), entry.first) == std::end(kQuoted);
    });
    return rates;
}

}  // namespace mintlux::server
