#pragma once

#include "PriceDocuments.h"
#include "http/HttpMessage.h"

#include <functional>

namespace mintlux::server {

// The routes: /v1/prices, /v1/history and /healthz, with strict parameter checking. Unknown,
// repeated, empty or misspelt parameters are refused rather than guessed at.
class PricingApi {
public:
    PricingApi(PriceDocuments& documents, std::function<HttpResponse()> health);

    HttpResponse handle(const HttpRequest& request);

private:
    HttpResponse prices(const QByteArray& query);
    HttpResponse history(const QByteArray& query);

    PriceDocuments& m_documents;
    std::function<HttpResponse()> m_health;
};

}  // namespace mintlux::server
