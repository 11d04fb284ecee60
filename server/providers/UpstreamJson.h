#pragma once

// Internal to the providers' parsers: pulls in the JSON reader.

#include "json/JsonValue.h"
#include "market/Decimal.h"
#include "providers/MarketProviders.h"

#include <functional>
#include <string_view>
#include <vector>

#include <QByteArrayView>
#include <QDate>

namespace mintlux::server::UpstreamJson {

// Reads `body` with `read`; malformed JSON or a document of the wrong shape becomes a
// ProviderError that names `upstream` and says where the document went wrong.
void parse(QByteArrayView body, std::string_view upstream,
           const std::function<void(JsonValue&)>& read);

// A price or rate: a number above zero. Zero is what some feeds send for "no price".
Decimal positive(JsonValue& value);

// A calendar day written as YYYY-MM-DD.
QDate day(JsonValue& value);

// A daily series oldest first; two prices for one day are a ProviderError naming `upstream`.
std::vector<DailyClose> inDateOrder(std::vector<DailyClose> closes, std::string_view upstream);

}  // namespace mintlux::server::UpstreamJson
