#include "EventLoop.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "TestCertificate.h"
#include "json/DecodingError.h"
#include "net/AccessManagerExchange.h"
#include "net/ByteStream.h"
#include "net/Gzip.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/ServiceError.h"
#include "pricing/TransportError.h"
#include "pricing/WireDecoder.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;
using Mode = Server::Mode;
using Kind = TransportError::Kind;
using test::await;

const QByteArray kGold = test::latestDocument("USD", {{"XAU", "2890.50", "troyOunce", "2880"}},
                                              "2025-01-31T14:05:09.250Z");

template <class T>
std::pair<NetworkFault, std::string> faultOf(QFuture<T> future) {
    try {
        await(std::move(future));
    } catch (const TransportError& e) {
        return {e.fault(), e.what()};
    }
    return {NetworkFault::none, {}};
}

std::string transport(TransportError::Kind kind) {
    return "transport error " + std::to_string(static_cast<int>(kind));
}

// How a request ended: "decoded", "corrupted" for a body that is no document, or transport().
template <class T>
std::string outcome(QFuture<T> future) {
    try {
        await(std::move(future));
        return "decoded";
    } catch (const DecodingError& e) {
        return e.kind() == DecodingError::Kind::dataCorrupted ? "corrupted" : e.what();
    } catch (const TransportError& e) {
        return transport(e.kind());
    } catch (const ServiceError& e) {
        return e.what();
    }
}

// Without a transport the client's own sockets carry the requests, as in the app.
HTTPPricingProxyClient clientFor(const QUrl& base, std::chrono::milliseconds timeout = 2s,
                                 HttpTransport transport = {}) {
    return HTTPPricingProxyClient({base}, std::move(transport), timeout);
}

// `body` in chunks of `piece` bytes, a chunk extension and a trailer thrown in.
Server::Response chunked(const QByteArray& body, qsizetype piece) {
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += piece) {
        const QByteArray part = body.mid(at, piece);
        out += QByteArray::number(part.size(), 16) + (at == 0 ? ";note=1" : "") + "\r\n" + part +
               "\r\n";
    }
    out += "0\r\nX-Checksum: none\r\n\r\n";
    Server::Response r{200, out};
    r.declareLength = false;
    r.extraHeaders.emplaceBack("Transfer-Encoding", "chunked");
    return r;
}

Server::Response gzipped(QByteArray body) {
    Server::Response r{200, std::move(body)};
    r.extraHeaders.append(std::pair<QByteArray, QByteArray>("Content-Encoding", "gzip"));
    return r;
}

TEST(HTTPPricingProxyClient, LatestDecodesTheBodyExactly) {
    Server server;
    server.route("/v1/prices", Server::Response{200, kGold});
    auto client = clientFor(server.baseUrl());
    EXPECT_EQ(await(client.fetchLatest(Currency::usd)),
              WireDecoder().decode<LatestPricesResponse>(kGold));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].method, "GET");
    // Offered by us, not by Qt, which would inflate a body without bound.
    EXPECT_EQ(server.requests()[0].headers.at("accept-encoding"), "gzip");
    // What Qt's transport adds by itself; anything else would be ours.
    const std::set<QByteArray> transport{"host", "connection", "accept-encoding", "accept-language",
                                         "user-agent"};
    for (const auto& [name, value] : server.requests().at(0).headers) {
        EXPECT_TRUE(transport.count(name)) << name.toStdString() << ": " << value.toStdString();
    }
}

TEST(HTTPPricingProxyClient, RequestTargetsKeepTheBasePathAndQueryOrder) {
    struct Row {
        QString basePath;  // appended to http://127.0.0.1:<port>
        QByteArray prefix;
    };
    for (const Row& row : {Row{"", "/"}, Row{"/", "/"}, Row{"/api", "/api/"}, Row{"/api/", "/api/"},
                           Row{"/my%20api/v2", "/my%20api/v2/"}}) {
        SCOPED_TRACE(row.basePath.toStdString());
        Server server;
        server.route(row.prefix + "v1/prices", Server::Response{200, kGold});
        server.route(row.prefix + "v1/history", Server::Response{200, test::historyDocument(2)});
        QUrl base = server.baseUrl();
        base.setPath(row.basePath, QUrl::TolerantMode);
        auto client = clientFor(base);
        await(client.fetchLatest(Currency::gbp));
        await(client.fetchHistory(MetalSeries::palladium, TimeRange::all, Currency::aed,
                                  MetalUnit::tola));
        EXPECT_EQ(server.targets(),
                  QByteArrayList(
                      {row.prefix + "v1/prices?currency=GBP",
                       row.prefix + "v1/history?series=XPD&range=All&currency=AED&unit=tola"}));
    }
}

// The status is ignored and the body decides; the time-out counts silence, not the whole transfer.
TEST(HTTPPricingProxyClient, EachKindOfAnswerEndsAsItShould) {
    // Some 250 ms in all, but never 200 ms without a byte.
    Server::Response trickle{200, kGold, "application/json", Mode::slowBody};
    trickle.chunks = 8;
    trickle.chunkDelay = 30ms;
    const QByteArray garbage(10 * 1024 * 1024 + 1, 'x');
    Server::Response huge{200, garbage, "application/octet-stream"};
    Server::Response hugeUndeclared = huge;
    hugeUndeclared.declareLength = false;
    // Whatever answers at the address chooses the message; it must reach labels as one short
    // plain line.
    QString shown = QStringLiteral("\u2039b\u203Abad\u2039/b\u203A \uFF06 co next ");
    shown += QString(ServiceError::kMaxMessageLength - 1 - shown.size(), u'a') + QChar(0x2026);
    const QByteArray hostile =
        R"({"error":"  <b>bad</b> & co\n\tnext )" + QByteArray(200, 'a') + "\"}";
    // The limit is on the decoded body: 16 KB that inflate to 16 MB are refused on the way, while
    // a body of nearly the limit that gzip made a little larger still arrives (and then is no
    // document).
    const qint64 limit = HTTPPricingProxyClient::kDefaultMaxBodyBytes;
    QByteArray noise(limit - 64, Qt::Uninitialized);
    for (qsizetype i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    const QByteArray grown = Gzip::compress(noise);
    const QByteArray gold = Gzip::compress(kGold);
    struct Row {
        const char* name;
        Server::Response answer;
        std::string outcome;
    };
    const Row rows[] = {
        {"500", {500, kGold}, "decoded"},
        {"404", {404, kGold}, "decoded"},
        {"407", {407, kGold}, "decoded"},
        {"401 as text", {401, kGold, "text/plain"}, "decoded"},
        {"redirect", Server::redirect("/moved/prices"), "decoded"},
        {"slow body", trickle, "decoded"},
        {"html", {200, "<html><body>Maintenance</body></html>", "text/html"}, "corrupted"},
        {"503 text", {503, "Service Unavailable", "text/plain"}, "corrupted"},
        {"the service's refusal",
         {503, R"({"error":"no exchange rate for INR yet"})"},
         "HTTP 503: no exchange rate for INR yet"},
        {"a refusal's text made safe", {500, hostile}, "HTTP 500: " + shown.toStdString()},
        {"an error document under 200", {200, R"({"error":"down"})"}, R"(Missing key "currency")"},
        {"an error that is no text", {503, R"({"error":{"code":7}})"}, R"(Missing key "currency")"},
        {"silent", {200, {}, "application/json", Mode::silent}, transport(Kind::timedOut)},
        {"closed mid-body",
         {200, kGold, "application/json", Mode::closeMidBody},
         transport(Kind::network)},
        {"oversized", huge, transport(Kind::bodyTooLarge)},
        {"gzip", gzipped(gold), "decoded"},
        {"gzip in two members",
         gzipped(Gzip::compress(kGold.left(9)) + Gzip::compress(kGold.mid(9))), "decoded"},
        {"gzip inflating past the limit", gzipped(Gzip::compress(QByteArray(2 * limit, ' '), 9)),
         transport(Kind::bodyTooLarge)},
        {"gzip larger than the limit, decoded within it", gzipped(grown), "corrupted"},
        {"gzip truncated", gzipped(gold.chopped(6)), transport(Kind::network)},
        {"gzip corrupt", gzipped("\x1f\x8b\x08\x00garbage"), transport(Kind::network)},
        {"an encoding not offered",
         [&] {
             auto r = gzipped(gold);
             r.extraHeaders = {{"Content-Encoding", "br"}};
             return r;
         }(),
         transport(Kind::network)},
        {"oversized, length unknown", hugeUndeclared, transport(Kind::bodyTooLarge)},
        {"chunked", chunked(kGold, 7), "decoded"},
        {"chunked gzip",
         [&] {
             auto r = chunked(gold, 5);
             r.extraHeaders.emplaceBack("Content-Encoding", "gzip");
             return r;
         }(),
         "decoded"},
        {"chunked, cut short",
         [] {
             auto r = chunked(kGold, 7);
             r.body.chop(40);  // into the data
             return r;
         }(),
         transport(Kind::network)},
        {"not HTTP", {200, {}, "application/json", Mode::notHttp}, transport(Kind::network)},
    };
    // The app's own sockets and the access manager the service's upstream fetches use.
    for (const bool sockets : {true, false}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (sockets ? " (sockets)" : " (access manager)"));
            Server server;
            server.route("/v1/prices", row.answer);
            server.route("/moved/prices", Server::Response{200, kGold});
            // A short time-out for the answers that pace themselves; a big body may pause longer.
            const bool paced = row.answer.mode == Mode::silent || row.answer.mode == Mode::slowBody;
            auto client = clientFor(
                server.baseUrl(), paced ? 200ms : 2s,
                sockets ? HttpTransport()
                        : accessManagerTransport(std::make_shared<QNetworkAccessManager>()));
            EXPECT_EQ(outcome(client.fetchLatest(Currency::usd)), row.outcome);
        }
    }
}

// History already held is asked for again with its tag, and a 304 gives it back whole.
TEST(HTTPPricingProxyClient, HeldHistoryIsRevalidatedInsteadOfFetchedAgain) {
    QByteArray body = test::historyDocument(3);
    QByteArray tag = "\"v1\"";
    QByteArrayList asked;
    Server server;
    server.route("/v1/history", [&](const Server::Request& r) {
        const auto held = r.headers.find("if-none-match");
        asked << (held == r.headers.end() ? "" : held->second);
        Server::Response answer{held != r.headers.end() && held->second == tag ? 304 : 200, body};
        if (answer.status == 304) {
            answer.body.clear();
        }
        answer.extraHeaders.append(std::pair<QByteArray, QByteArray>("ETag", tag));
        return answer;
    });
    auto client = clientFor(server.baseUrl());
    const auto history = [&](TimeRange range) {
        return client.fetchHistory(MetalSeries::gold, range, Currency::usd, MetalUnit::troyOunce);
    };
    const HistoryResponse first = await(history(TimeRange::oneYear));
    EXPECT_EQ(first.points.size(), 3u);
    EXPECT_EQ(await(history(TimeRange::oneYear)), first);
    body = test::historyDocument(5);
    tag = "\"v2\"";
    EXPECT_EQ(await(history(TimeRange::oneYear)).points.size(), 5u);
    EXPECT_EQ(await(history(TimeRange::oneYear)).points.size(), 5u);
    await(history(TimeRange::all));
    EXPECT_EQ(asked, QByteArrayList({"", "\"v1\"", "\"v1\"", "\"v2\"", ""}));
    // A 304 for what the client does not hold is no document.
    server.route("/v1/history", Server::Response{304, {}});
    EXPECT_EQ(outcome(history(TimeRange::oneDay)), "corrupted");
}

TEST(HTTPPricingProxyClient, RefusedAndDroppedRequestsFail) {
    Server server;
    server.route("/v1/prices", Server::Response{200, {}, "application/json", Mode::silent});
    const QUrl base = server.baseUrl();
    auto client =
        std::make_unique<HTTPPricingProxyClient>(HTTPPricingProxyClient::Configuration{base});
    auto future = client->fetchLatest(Currency::usd);
    ASSERT_TRUE(test::waitUntil([&] { return server.requests().size() == 1; }));
    client.reset();
    EXPECT_EQ(outcome(future), transport(Kind::cancelled));

    server.close();
    auto refused = clientFor(base);
    EXPECT_EQ(faultOf(refused.fetchLatest(Currency::usd)).first, NetworkFault::connectionRefused);

    // A name is resolved off the event loop and each of its addresses tried in turn: localhost
    // may give ::1 first, where nothing listens.
    Server byName;
    byName.route("/v1/prices", Server::Response{200, kGold});
    QUrl named = byName.baseUrl();
    named.setHost(QStringLiteral("localhost"));
    EXPECT_EQ(outcome(clientFor(named).fetchLatest(Currency::usd)), "decoded");
}

TEST(HTTPPricingProxyClient, LargeButSaneDocumentsDecode) {
    QByteArray manyMetals = kGold;
    QByteArray extra;
    for (int i = 0; i < 5000; ++i) {
        extra += ",\"M" + QByteArray::number(i) + "\":{\"value\":1." + QByteArray::number(i) +
                 ",\"unit\":\"gram\"}";
    }
    manyMetals.insert(manyMetals.indexOf("}}") + 1, extra);
    Server server;
    server.route("/v1/prices", Server::Response{200, manyMetals});
    server.route("/v1/history", Server::Response{200, test::historyDocument(100'000)});
    auto client = clientFor(server.baseUrl());

    EXPECT_EQ(await(client.fetchLatest(Currency::usd)).prices.size(), 5001u);
    const HistoryResponse h = await(client.fetchHistory(MetalSeries::gold, TimeRange::all,
                                                        Currency::usd, MetalUnit::troyOunce));
    ASSERT_EQ(h.points.size(), 100'000u);
    EXPECT_EQ(h.points.back().v, Decimal(100'999));
}

// A session that trusts the throw-away certificate, as a deployment would trust its own CA.
class TrustingSession final : public QNetworkAccessManager {
protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& original,
                                 QIODevice* data) override {
        QNetworkRequest request(original);
        QSslConfiguration ssl = request.sslConfiguration();
        ssl.addCaCertificate(test::loopbackTlsIdentity().certificate);
        request.setSslConfiguration(ssl);
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

TEST(HTTPPricingProxyClient, WorksOverTls) {
    Server server(test::loopbackTlsIdentity());
    server.route("/v1/prices", Server::Response{200, kGold});
    HTTPPricingProxyClient trusting(
        {server.baseUrl()}, accessManagerTransport(std::make_shared<TrustingSession>()), 2s);
    EXPECT_EQ(await(trusting.fetchLatest(Currency::usd)).prices.at("XAU").value,
              *Decimal::parse("2890.5"));

    // The app's sockets take TLS from a module; where it cannot be found, https fails and says why.
    auto untrusting = clientFor(server.baseUrl());
    const auto [missing, why] = faultOf(untrusting.fetchLatest(Currency::usd));
    EXPECT_EQ(missing, NetworkFault::tlsFailed);
    EXPECT_NE(why.find("TLS is not available: mintlux-tls.so is in none of"), std::string::npos)
        << why;
    tls::setExtraModuleDirs({QStringLiteral(MINTLUX_APP_BINARY_DIR)});

    // The same server is refused when its certificate is not trusted.
    EXPECT_EQ(faultOf(untrusting.fetchLatest(Currency::usd)).first, NetworkFault::tlsFailed);

    // The app's own sockets, trusting what the system trusts (here, as a deployment's CA would
    // be, the throw-away certificate).
    const QSslConfiguration system = QSslConfiguration::defaultConfiguration();
    QSslConfiguration withCa = system;
    withCa.addCaCertificate(test::loopbackTlsIdentity().certificate);
    QSslConfiguration::setDefaultConfiguration(withCa);
    auto sockets = clientFor(server.baseUrl());
    EXPECT_EQ(outcome(sockets.fetchLatest(Currency::usd)), "decoded");
    QSslConfiguration::setDefaultConfiguration(system);
}

}  // namespace
}  // namespace mintlux
