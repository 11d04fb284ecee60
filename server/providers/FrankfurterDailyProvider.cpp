#include "providers/FrankfurterDailyProvider.h"

#include "providers/UpstreamJson.h"

#include <algorithm>

#include <QUrlQuery>

namespace mintlux::server {

namespace {

constexpr std::string_view kName = "Frankfurter";

}  // namespace

QUrl FrankfurterDailyProvider::defaultBaseUrl() {
    return QUrl(QStringLiteral("https://api.frankfurter.dev/v2/"));
}

FrankfurterDailyProvider::FrankfurterDailyProvider(QNetworkAccessManager& network, QUrl baseUrl,
                                                   std::chrono::milliseconds timeout)
    : m_baseUrl(std::move(baseUrl)), m_http(network, QString::fromLatin1(kName), timeout) {}

QString FrankfurterDailyProvider::name() const {
    return QString::fromLatin1(kName);
}

QFuture<std::vector<DailyClose>> FrankfurterDailyProvider::fetchDailyCloses(MetalSeries metal) {
    const QDate newest = m_newest[metal.index()];
    const QDate from = newest.isValid() ? newest.addDays(-kOverlapDays) : earliestDay();
    QUrl url = UpstreamHttp::resolve(m_baseUrl, QStringLiteral("rates"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("base"), metal.rawValue());
    query.addQueryItem(QStringLiteral("quotes"), QStringLiteral("USD"));
    query.addQueryItem(QStringLiteral("from"), from.toString(Qt::ISODate));
    url.setQuery(query);
    // Remembered only once an answer parsed, so a failed first request asks for everything
    // again. The parser runs on this thread, and never once the provider is gone.
    return m_http.fetch(url, UpstreamHttp::Body::json, [this, metal](QByteArrayView body) {
        std::vector<DailyClose> closes = parse(body, metal);
        QDate& seen = m_newest[metal.index()];
        seen = std::max(seen, closes.back().date);
        return closes;
    });
}

std::vector<DailyClose> FrankfurterDailyProvider::parse(QByteArrayView body, MetalSeries metal) {
    const std::string base = metal.rawValue().toStdString();
    std::vector<DailyClose> closes;
    UpstreamJson::parse(body, kName, [&](JsonValue& root) {
        root.forEachElement([&](JsonValue& row) {
            std::optional<QDate> date;
            std::optional<std::string> rowBase;
            std::optional<std::string> quote;
            std::optional<Decimal> rate;
            row.forEachField([&](std::string_view key, JsonValue& field) {
                if (key == "date") {
                    field.readOnce(date, &UpstreamJson::day);
                } else if (key == "base") {
                    field.readOnce(rowBase, [](JsonValue& v) { return std::string(v.string()); });
                } else if (key == "quote") {
                    field.readOnce(quote, [](JsonValue& v) { return std::string(v.string()); });
                } else if (key == "rate") {
                    field.readOnce(rate, &UpstreamJson::positive);
                } else {
                    field.skip();
                }
            });
            // A row for another pair would put a wrong price on the chart, not a missing one.
            if (const std::string found = row.take(rowBase, "base"); found != base) {
                row.fail(DecodingError::Kind::dataCorrupted,
                         "Expected base " + base + " but found " + found);
            }
            if (const std::string found = row.take(quote, "quote"); found != "USD") {
                row.fail(DecodingError::Kind::dataCorrupted,
                         "Expected quote USD but found " + found);
            }
            const QDate day = row.take(date, "date");
            const Decimal price = row.take(rate, "rate");
            if (day.dayOfWeek() <= 5) {
                closes.push_back({day, price});
            }
        });
    });
    if (closes.empty()) {
        throw ProviderError(std::string(kName) + " has no priced weekday for " + base + "/USD");
    }
    return UpstreamJson::inDateOrder(std::move(closes), kName);
}

}  // namespace mintlux::server
