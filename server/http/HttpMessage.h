#pragma once

#include <utility>

#include <QByteArray>
#include <QList>

namespace mintlux::server {

// What the handler sees of a request: the bytes as sent, nothing decoded yet.
struct HttpRequest {
    QByteArray method;
    QByteArray path;   // the target up to '?'
    QByteArray query;  // after '?', without it
};

struct HttpResponse {
    int status = 200;
    QByteArray body;  // JSON; shared, not copied, when it comes from a cache
    QList<std::pair<QByteArray, QByteArray>> headers;
};

}  // namespace mintlux::server
