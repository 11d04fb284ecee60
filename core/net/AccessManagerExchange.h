#pragma once

#include "net/HttpExchange.h"

#include <memory>

class QNetworkAccessManager;

namespace mintlux {

// Requests through an access manager: its connection pool, proxy settings and TLS
// configuration. The service's upstream requests go this way; the app's go over its own sockets.
HttpTransport accessManagerTransport(QNetworkAccessManager& network);
HttpTransport accessManagerTransport(std::shared_ptr<QNetworkAccessManager> network);

}  // namespace mintlux
