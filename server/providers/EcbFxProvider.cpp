#include "providers/EcbFxProvider.h"

#include <map>

#include <QXmlStreamReader>

namespace mintlux::server {

namespace {

constexpr std::string_view kName = "ECB";

[[noreturn]] void fail(const std::string& why) {
    throw ProviderError(std::string(kName) + " answered an unusable rate file: " + why);
}

}  // namespace

QUrl EcbFxProvider::defaultUrl() {
    return QUrl(QStringLiteral("https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml"));
}

EcbFxProvider::EcbFxProvider(QNetworkAccessManager& network, QUrl url,
                             std::chrono::milliseconds timeout)
    : m_url(std::move(url)), m_http(network, QString::fromLatin1(kName), timeout) {}

QString EcbFxProvider::name() const {
    return QString::fromLatin1(kName);
}

QFuture<FxRates> EcbFxProvider::fetchRates() {
    return m_http.fetch(m_url, UpstreamHttp::Body::xml, &EcbFxProvider::parse);
}

FxRates EcbFxProvider::parse(QByteArrayView body) {
    // Rates per euro by day, keyed by ISO code; the daily file has one day, the 90-day file many.
    std::map<QDate, std::map<QString, Decimal>> days;
    QXmlStreamReader xml(body.toByteArray());
    std::map<QString, Decimal>* day = nullptr;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Cube") {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.hasAttribute(QStringLiteral("time"))) {
            const QString text = attributes.value(QLatin1String("time")).toString();
            const QDate date = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
            if (!date.isValid()) {
                fail("invalid date \"" + text.toStdString() + '"');
            }
            day = &days[date];
        } else if (attributes.hasAttribute(QStringLiteral("currency"))) {
            const QString code = attributes.value(QLatin1String("currency")).toString();
            const std::optional<Decimal> rate =
                Decimal::parse(attributes.value(QLatin1String("rate")));
            if (!day) {
                fail("a rate for " + code.toStdString() + " outside any day");
            }
            if (!rate || rate->signum() <= 0) {
                fail("invalid rate for " + code.toStdString() + ": \"" +
                     attributes.value(QLatin1String("rate")).toString().toStdString() + '"');
            }
            if (!day->emplace(code, *rate).second) {
                fail("two rates for " + code.toStdString());
            }
        }
    }
    if (xml.hasError()) {
        fail(xml.errorString().toStdString() + " at line " + std::to_string(xml.lineNumber()));
    }
    if (days.empty()) {
        fail("no reference day");
    }
    const auto& [date, perEuro] = *days.rbegin();
    auto rate = [&, date = date](const char* code) {
        const auto it = perEuro.find(QString::fromLatin1(code));
        if (it == perEuro.end()) {
            fail(std::string("no ") + code + " rate for " +
                 date.toString(Qt::ISODate).toStdString());
        }
        return it->second;
    };
    const Decimal usd = rate("USD");
    FxRates rates;
    rates.date = date;
    rates.perUsd.emplace(Currency::eur, Decimal(1) / usd);
    rates.perUsd.emplace(Currency::gbp, rate("GBP") / usd);
    rates.perUsd.emplace(Currency::inr, rate("INR") / usd);
    return rates;
}

}  // namespace mintlux::server
