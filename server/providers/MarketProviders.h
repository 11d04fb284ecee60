#pragma once

#include "market/Currency.h"
#include "market/Decimal.h"
#include "market/Instant.h"
#include "market/MetalSeries.h"

#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include <QByteArray>
#include <QDate>
#include <QFuture>
#include <QString>

namespace mintlux::server {

// An upstream answered, but not with what we can use: HTML with status 200, a rate limit,
// an empty or zeroed series. what() is the line the service logs and /healthz shows.
class ProviderError : public std::runtime_error {
public:
    // `brief` is the cause in a few words ("HTTP 429"), for messages with little room.
    explicit ProviderError(const std::string& what, std::string brief = {})
        : std::runtime_error(what), m_brief(std::move(brief)) {}

    const std::string& brief() const noexcept { return m_brief; }

private:
    std::string m_brief;
};

// One metal's spot price in US dollars per troy ounce, as the upstream quoted it.
struct SpotQuote {
    MetalSeries metal;
    Decimal usdPerOunce;
    Instant asOf;
    friend bool operator==(const SpotQuote&, const SpotQuote&) = default;
};

// How many units of each currency one US dollar buys, on the reference date.
struct FxRates {
    QDate date;
    std::unordered_map<Currency, Decimal> perUsd;
    friend bool operator==(const FxRates&, const FxRates&) = default;
};

// One trading day's closing price in US dollars per troy ounce.
struct DailyClose {
    QDate date;
    Decimal usdPerOunce;
    friend bool operator==(const DailyClose&, const DailyClose&) = default;
};

// Each call makes one round of upstream requests (one per metal where the upstream quotes a
// single instrument per request) and answers through the future; a failure is the future's
// exception (ProviderError, or the transport's). Providers live on the service's main thread
// and never block it.
class SpotProvider {
public:
    virtual ~SpotProvider() = default;
    virtual QString name() const = 0;
    // Whatever metals the upstream had; a metal it lacked is simply absent.
    virtual QFuture<std::vector<SpotQuote>> fetchSpot() = 0;
};

class FxProvider {
public:
    virtual ~FxProvider() = default;
    virtual QString name() const = 0;
    virtual QFuture<FxRates> fetchRates() = 0;
};

class DailyHistoryProvider {
public:
    virtual ~DailyHistoryProvider() = default;
    virtual QString name() const = 0;
    // Oldest first; days the upstream left empty or zero are dropped, not invented.
    virtual QFuture<std::vector<DailyClose>> fetchDailyCloses(MetalSeries metal) = 0;
};

}  // namespace mintlux::server
