#include "PricingApi.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>

namespace mintlux::server {

namespace {

HttpResponse error(int status, const std::string& message) {
    return {status, PriceDocuments::errorJson(message), {}};
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> percentDecoded(QByteArrayView text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int hi = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return out;
}

// The query's parameters, each exactly once and among `allowed`; the error message otherwise.
struct Query {
    std::map<std::string, std::string> values;
    std::string error;
};

Query parseQuery(const QByteArray& query, std::initializer_list<std::string_view> allowed) {
    Query out;
    if (query.isEmpty()) {
        return out;
    }
    for (const QByteArrayView item : query.split('&')) {
        const qsizetype eq = item.indexOf('=');
        const auto name = percentDecoded(eq < 0 ? item : item.first(eq));
        const auto value = percentDecoded(eq < 0 ? QByteArrayView() : item.sliced(eq + 1));
        if (!name || !value) {
            out.error = "malformed percent-encoding in query";
            return out;
        }
        if (std::find(allowed.begin(), allowed.end(), *name) == allowed.end()) {
            out.error = name->empty() ? "empty query parameter" : "unknown query parameter";
            return out;
        }
        if (!out.values.emplace(*name, *value).second) {
            out.error = "repeated parameter: " + *name;
            return out;
        }
    }
    return out;
}

// Looks `name` up as one of the vocabulary's raw values; sets `message` when it is not.
template <class V>
std::optional<V> parameter(const Query& query, const char* name, std::string& message) {
    if (!message.empty()) {
        return std::nullopt;
    }
    const auto it = query.values.find(name);
    if (it == query.values.end()) {
        message = std::string("missing parameter: ") + name;
        return std::nullopt;
    }
    auto v = V::fromRawValue(std::string_view(it->second));
    if (!v) {
        message = std::string("invalid value for parameter: ") + name;
    }
    return v;
}

HttpResponse fromBody(const PriceDocuments::Body& body) {
    HttpResponse r{body.status, body.json, {}};
    r.maxAge = body.maxAge;
    r.etag = body.etag;
    r.gzip = body.gzip;
    r.gzipEtag = body.gzipEtag;
    return r;
}

}  // namespace

PricingApi::PricingApi(PriceDocuments& documents, std::function<HttpResponse()> health)
    : m_documents(documents), m_health(std::move(health)) {}

HttpResponse PricingApi::handle(const HttpRequest& request) {
    enum class Route { prices, history, health };
    Route route;
    if (request.path == "/v1/prices") {
        route = Route::prices;
    } else if (request.path == "/v1/history") {
        route = Route::history;
    } else if (request.path == "/healthz") {
        route = Route::health;
    } else {
        return error(404, "not found");
    }
    if (request.method != "GET" && request.method != "HEAD") {
        HttpResponse r = error(405, "method not allowed");
        r.headers.append(std::pair<QByteArray, QByteArray>("Allow", "GET, HEAD"));
        return r;
    }
    switch (route) {
        case Route::prices:
            return prices(request.query);
        case Route::history:
            return history(request.query);
        case Route::health:
            if (!request.query.isEmpty()) {
                return error(400, "unknown query parameter");
            }
            return m_health();
    }
    return error(404, "not found");
}

HttpResponse PricingApi::prices(const QByteArray& query) {
    const Query q = parseQuery(query, {"currency"});
    std::string message = q.error;
    const auto currency = parameter<Currency>(q, "currency", message);
    if (!message.empty()) {
        return error(400, message);
    }
    return fromBody(m_documents.prices(*currency));
}

HttpResponse PricingApi::history(const QByteArray& query) {
    const Query q = parseQuery(query, {"series", "range", "currency", "unit"});
    std::string message = q.error;
    const auto series = parameter<MetalSeries>(q, "series", message);
    const auto range = parameter<TimeRange>(q, "range", message);
    const auto currency = parameter<Currency>(q, "currency", message);
    const auto unit = parameter<MetalUnit>(q, "unit", message);
    if (!message.empty()) {
        return error(400, message);
    }
    return fromBody(m_documents.history(*series, *range, *currency, *unit));
}

}  // namespace mintlux::server
