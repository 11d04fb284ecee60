#include "providers/SwissquoteSpotProvider.h"

#include "providers/SpotRound.h"
#include "providers/UpstreamJson.h"

#include <optional>

namespace mintlux::server {

namespace {

constexpr std::string_view kName = "Swissquote";
// Past this the millisecond count cannot be a time the clock can hold (about the year 2255).
constexpr std::int64_t kLatestMilliseconds = 9'000'000'000'000;

struct Candidate {
    std::int64_t ts = 0;
    Decimal bid;
    Decimal ask;
};

// Newest first; on the same platform clock, the tightest spread is the best estimate of the mid.
bool better(const Candidate& a, const std::optional<Candidate>& b) {
    return !b || a.ts > b->ts || (a.ts == b->ts && a.ask - a.bid < b->ask - b->bid);
}

std::vector<Candidate> readPlatform(JsonValue& platform) {
    std::optional<std::int64_t> ts;
    std::optional<std::vector<std::pair<Decimal, Decimal>>> prices;
    platform.forEachField([&](std::string_view key, JsonValue& field) {
        if (key == "ts") {
            field.readOnce(ts, &JsonValue::integer);
            if (*ts <= 0 || *ts > kLatestMilliseconds) {
                field.fail(DecodingError::Kind::dataCorrupted,
                           "Timestamp " + std::to_string(*ts) + " out of range");
            }
        } else if (key == "spreadProfilePrices") {
            field.readOnce(prices, [](JsonValue& list) {
                std::vector<std::pair<Decimal, Decimal>> out;
                list.forEachElement([&](JsonValue& profile) {
                    std::optional<std::optional<Decimal>> bid;
                    std::optional<std::optional<Decimal>> ask;
                    profile.forEachField([&](std::string_view name, JsonValue& value) {
                        if (name == "bid") {
                            value.readOnce(bid, &JsonValue::optionalDecimal);
                        } else if (name == "ask") {
                            value.readOnce(ask, &JsonValue::optionalDecimal);
                        } else {
                            value.skip();
                        }
                    });
                    const std::optional<Decimal> b = bid.value_or(std::nullopt);
                    const std::optional<Decimal> a = ask.value_or(std::nullopt);
                    // A missing, zero or crossed side is a profile without a market, not a
                    // price: it is passed over, and the others still count.
                    if (b && a && b->signum() > 0 && *a >= *b) {
                        out.emplace_back(*b, *a);
                    }
                });
                return out;
            });
        } else {
            field.skip();
        }
    });
    const std::int64_t when = platform.take(ts, "ts");
    std::vector<Candidate> candidates;
    for (const auto& [bid, ask] : platform.take(prices, "spreadProfilePrices")) {
        candidates.push_back({when, bid, ask});
    }
    return candidates;
}

}  // namespace

QUrl SwissquoteSpotProvider::defaultBaseUrl() {
    return QUrl(QStringLiteral(
        "https://forex-data-feed.swissquote.com/public-quotes/bboquotes/instrument/"));
}

SwissquoteSpotProvider::SwissquoteSpotProvider(QNetworkAccessManager& network, QUrl baseUrl,
                                               std::chrono::milliseconds timeout)
    : m_baseUrl(std::move(baseUrl)), m_http(network, name(), timeout) {}

QString SwissquoteSpotProvider::name() const {
    return QString::fromLatin1(kName);
}

QFuture<std::vector<SpotQuote>> SwissquoteSpotProvider::fetchSpot() {
    return fetchSpotRound(&m_http, [this](MetalSeries metal) {
        const QUrl url =
            UpstreamHttp::resolve(m_baseUrl, metal.rawValue() + QStringLiteral("/USD"));
        return m_http.fetch(url, UpstreamHttp::Body::json,
                            [metal](QByteArrayView body) { return parse(body, metal); });
    });
}

SpotQuote SwissquoteSpotProvider::parse(QByteArrayView body, MetalSeries metal) {
    std::optional<Candidate> best;
    UpstreamJson::parse(body, kName, [&](JsonValue& root) {
        root.forEachElement([&](JsonValue& platform) {
            for (const Candidate& candidate : readPlatform(platform)) {
                if (better(candidate, best)) {
                    best = candidate;
                }
            }
        });
    });
    if (!best) {
        throw ProviderError(std::string(kName) + " has no usable bid/ask for " +
                            metal.rawValue().toStdString() + "/USD");
    }
    return SpotQuote{metal, (best->bid + best->ask) / Decimal(2),
                     Instant(std::chrono::milliseconds(best->ts))};
}

}  // namespace mintlux::server
