#pragma once

#include "DecimalTesting.h"
#include "EventLoop.h"
#include "FakeClock.h"
#include "PricingService.h"
#include "pricing/Futures.h"
#include "storage/SqliteStore.h"

#include <memory>
#include <string>

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace mintlux::test {

// Upstream doubles: answer what the test put in them, or fail with its error text.
class ScriptedSpot final : public server::SpotProvider {
public:
    explicit ScriptedSpot(QString name) : m_name(std::move(name)) {}
    QString name() const override { return m_name; }
    QFuture<std::vector<server::SpotQuote>> fetchSpot() override {
        ++calls;
        if (hang) {
            hung.push_back(Futures::startedPromise<std::vector<server::SpotQuote>>());
            return hung.back()->future();
        }
        if (!error.empty()) {
            return Futures::failed<std::vector<server::SpotQuote>>(
                std::make_exception_ptr(server::ProviderError(error)));
        }
        return Futures::ready(quotes);
    }
    std::vector<server::SpotQuote> quotes;
    std::string error;
    bool hang = false;  // answers never
    std::vector<std::shared_ptr<QPromise<std::vector<server::SpotQuote>>>> hung;
    int calls = 0;

private:
    QString m_name;
};

class ScriptedFx final : public server::FxProvider {
public:
    QString name() const override { return QStringLiteral("fx-double"); }
    QFuture<server::FxRates> fetchRates() override { return Futures::ready(rates); }
    server::FxRates rates;
};

class ScriptedDaily final : public server::DailyHistoryProvider {
public:
    QString name() const override { return QStringLiteral("daily-double"); }
    QFuture<std::vector<server::DailyClose>> fetchDailyCloses(MetalSeries metal) override {
        return Futures::ready(metal == MetalSeries::gold ? closes
                                                         : std::vector<server::DailyClose>{});
    }
    std::vector<server::DailyClose> closes;
};

// One HTTP answer read off a raw socket.
struct RawAnswer {
    int status = 0;
    QByteArray head;
    QByteArray body;

    // The first field of that name, trimmed; empty when absent.
    QByteArray header(const QByteArray& name) const {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.first(colon).compare(name, Qt::CaseInsensitive) == 0) {
                return line.sliced(colon + 1).trimmed();
            }
        }
        return {};
    }
};

// Takes one whole answer off the front of `pending`, if it holds one; a chunked body is joined.
inline bool takeAnswer(QByteArray& pending, RawAnswer& answer) {
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0) {
        return false;
    }
    RawAnswer a{0, pending.left(end), {}};
    qsizetype at = end + 4;
    if (a.header("Transfer-Encoding") == "chunked") {
        for (;;) {
            const qsizetype line = pending.indexOf("\r\n", at);
            if (line < 0) {
                return false;
            }
            const qsizetype size = pending.mid(at, line - at).toLongLong(nullptr, 16);
            if (pending.size() < line + 2 + size + 2) {
                return false;
            }
            a.body += pending.mid(line + 2, size);
            at = line + 2 + size + 2;
            if (size == 0) {
                break;
            }
        }
    } else {
        at += a.header("Content-Length").toLongLong();
        if (pending.size() < at) {
            return false;
        }
        a.body = pending.mid(end + 4, at - end - 4);
    }
    a.status = a.head.mid(9, 3).toInt();
    pending.remove(0, at);
    answer = std::move(a);
    return true;
}

// Reads exactly one response; status 0 if none arrived in time.
inline RawAnswer readAnswer(QTcpSocket& socket, QByteArray& pending,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    RawAnswer a;
    waitUntil(
        [&] {
            pending += socket.readAll();
            return takeAnswer(pending, a) || socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeout);
    return a;
}

inline RawAnswer exchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray pending;
    return readAnswer(socket, pending);
}

inline QByteArray get(const QByteArray& target, const QByteArray& fields = {}) {
    return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + fields + "\r\n";
}

// A service on an ephemeral loopback port over a store in a temporary directory, with
// scripted upstreams and a clock the test moves.
struct ServiceFixture {
    explicit ServiceFixture(server::HttpServer::Limits httpLimits = {}) : limits(httpLimits) {
        primary = add(providers.spot, std::make_unique<ScriptedSpot>(QStringLiteral("primary")));
        secondary =
            add(providers.spot, std::make_unique<ScriptedSpot>(QStringLiteral("secondary")));
        fx = add(providers.fx, std::make_unique<ScriptedFx>());
        daily = add(providers.daily, std::make_unique<ScriptedDaily>());
    }

    void start() {
        service = std::make_unique<server::PricingService>(
            std::make_unique<server::SqliteStore>(dir.filePath(QStringLiteral("p.sqlite"))),
            std::move(providers), clock, server::PricingService::Options{"live", limits, {}});
        EXPECT_TRUE(service->http().listen(QHostAddress::LocalHost, 0));
        service->start();
        settle(std::chrono::milliseconds(50));
    }

    quint16 port() { return service->http().port(); }
    RawAnswer ask(const QByteArray& target) { return exchange(port(), get(target)); }
    QJsonObject askJson(const QByteArray& target) {
        return QJsonDocument::fromJson(ask(target).body).object();
    }

    QTemporaryDir dir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    server::LiveProviders providers;
    server::HttpServer::Limits limits;
    ScriptedSpot* primary;
    ScriptedSpot* secondary;
    ScriptedFx* fx;
    ScriptedDaily* daily;
    std::unique_ptr<server::PricingService> service;

private:
    template <class T, class List>
    static T* add(List& list, std::unique_ptr<T> provider) {
        list.push_back(std::move(provider));
        return static_cast<T*>(list.back().get());
    }
};

}  // namespace mintlux::test
