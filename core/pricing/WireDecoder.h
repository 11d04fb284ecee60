#pragma once

#include "json/Json.h"
#include "pricing/HistoryResponse.h"
#include "pricing/LatestPricesResponse.h"

#include <concepts>

namespace mintlux {

template <class T>
concept WireRecord = std::same_as<T, LatestPricesResponse> || std::same_as<T, HistoryResponse>;

// Reads the pricing API's documents. JSON numbers become decimals digit for digit (a number
// sent as a string is a type mismatch); timestamps go through the ISO-8601 date parsers.
// One per back-end: it keeps its parser's buffers between documents.
class WireDecoder {
public:
    template <WireRecord T>
    T decode(QByteArrayView bytes) {
        return Json::decode<T>(bytes, m_parser);
    }

private:
    JsonParser m_parser;
};

}  // namespace mintlux
