#pragma once

#include "net/BoundedHttpFetch.h"
#include "pricing/Futures.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>

#include <QByteArray>
#include <QByteArrayView>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

namespace mintlux::server {

// GET requests to one upstream, answered only with a body worth parsing: a 2xx status, a
// content type that can be what we asked for, within a size limit and a deadline for the whole
// transfer. Anything else fails the future: a ProviderError when the upstream answered (429,
// HTML error page), a TransportError when it did not (refused, timed out, too large).
class UpstreamHttp : public QObject {
public:
    enum class Body { json, xml };

    // Spot is polled every 30-60 s: a request that takes longer than this is better retried.
    static constexpr std::chrono::milliseconds kDefaultTimeout{15'000};
    // The largest real answer, the full daily series since 1968, is under 1 MB.
    static constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;

    // `upstream` names the source in every error message.
    UpstreamHttp(QNetworkAccessManager& network, QString upstream,
                 std::chrono::milliseconds timeout = kDefaultTimeout,
                 qint64 maxBodyBytes = kMaxBodyBytes);
    // Requests still running fail with a cancelled TransportError.
    ~UpstreamHttp() override;

    const QString& upstream() const { return m_upstream; }

    QFuture<QByteArray> get(const QUrl& url, Body expected);

    // The body through `parse`, whose exception (if any) fails the future.
    template <class Parse>
    auto fetch(const QUrl& url, Body expected, Parse parse)
        -> QFuture<std::invoke_result_t<Parse&, QByteArrayView>> {
        using T = std::invoke_result_t<Parse&, QByteArrayView>;
        auto promise = Futures::startedPromise<T>();
        Futures::whenFinished(
            get(url, expected), this,
            [promise, parse = std::move(parse)](QByteArray body) mutable {
                try {
                    Futures::fulfil(*promise, parse(QByteArrayView(body)));
                } catch (...) {
                    Futures::fail(*promise, std::current_exception());
                }
            },
            [promise](std::exception_ptr error) { Futures::fail(*promise, error); });
        return promise->future();
    }

    // `path` appended to `base` after exactly one slash, the base's own path kept.
    static QUrl resolve(const QUrl& base, const QString& path);
    static QByteArray userAgent();

private:
    QString m_upstream;
    BoundedHttpFetch m_fetch;
};

}  // namespace mintlux::server
