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
    // For an answer caches may keep (maxAge >= 0); anything else is sent as no-store. The
    // connection answers If-None-Match and Accept-Encoding from these.
    int maxAge = -1;        // seconds
    QByteArray etag{};      // quoted, of `body`
    QByteArray gzip{};      // `body` compressed, when that was worth it
    QByteArray gzipEtag{};  // quoted, of `gzip`
};

}  // namespace mintlux::server
