#include "LoadClient.h"
#include "net/Gzip.h"

#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace mintlux {
namespace {

using namespace std::chrono_literals;
using test::exchange;
using test::get;

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray text(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The service from its binary in demo mode, and nginx in front of it with the configuration the
// README gives. Between the two, a plain nginx proxy logs each request that reaches the service.
class DeploymentTest : public ::testing::Test {
protected:
    void SetUp() override {
        nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"));
        if (nginx.isEmpty()) {
            nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin"});
        }
        if (nginx.isEmpty()) {
            GTEST_SKIP() << "nginx is not installed (scripts/install-deps.sh installs nginx-light)";
        }
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.start(
            QStringLiteral(MINTLUX_PRICING_BINARY),
            {"--source", "synthetic", "--db", dir.filePath("p.sqlite"), "--listen", "127.0.0.1:0"});
        ASSERT_TRUE(test::waitUntil([&] {
            log += service.readAll();
            const auto at = log.indexOf("listening on 127.0.0.1:");
            servicePort = at < 0 ? 0 : log.mid(at + 23).split(',').first().toUShort();
            return servicePort != 0;
        })) << log.toStdString();
        EXPECT_TRUE(log.contains("open files: up to ")) << log.toStdString();
        // After the first round: the next is the whole interval away.
        ASSERT_TRUE(test::waitUntil(
            [&] { return exchange(servicePort, get("/v1/prices?currency=USD")).status == 200; }));

        frontPort = freePort();
        const quint16 countingPort = freePort();
        QByteArray deployment = text(QStringLiteral(MINTLUX_NGINX_CONF));
        ASSERT_FALSE(deployment.isEmpty());
        deployment.replace("/var/cache/nginx/mintlux", dir.filePath("cache").toUtf8())
            .replace("127.0.0.1:47190", "127.0.0.1:" + QByteArray::number(countingPort))
            .replace("listen 80;", "listen 127.0.0.1:" + QByteArray::number(frontPort) + ";");
        const QByteArray d = dir.path().toUtf8();
        QByteArray conf = QByteArray(geteuid() == 0 ? "user root;\n" : "") + "pid " + d +
                          "/nginx.pid;\nerror_log " + d +
                          "/error.log;\nevents { worker_connections 1024; }\nhttp {\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
            conf += QByteArray(temp) + "_temp_path " + d + "/" + temp + ";\n";
        }
        conf += "log_format status \"$upstream_cache_status\";\naccess_log " + d +
                "/front.log status;\nserver {\n    listen 127.0.0.1:" +
                QByteArray::number(countingPort) + ";\n    access_log " + d +
                "/origin.log;\n    location / {\n        proxy_pass http://127.0.0.1:" +
                QByteArray::number(servicePort) +
                ";\n        proxy_http_version 1.1;\n        proxy_set_header Connection \"\";\n"
                "    }\n}\n" +
                deployment + "}\n";
        QFile file(dir.filePath("nginx.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(conf);
        file.close();
        proxy.setProcessChannelMode(QProcess::MergedChannels);
        proxy.start(nginx, {"-e", dir.filePath("error.log"), "-p", dir.path(), "-c",
                            dir.filePath("nginx.conf"), "-g", "daemon off;"});
        ASSERT_TRUE(test::waitUntil([&] {
            return exchange(frontPort, get("/v1/prices?currency=USD")).status == 200 ||
                   proxy.state() == QProcess::NotRunning;
        })) << text(dir.filePath("error.log")).toStdString();
        ASSERT_EQ(proxy.state(), QProcess::Running)
            << proxy.readAll().toStdString() << text(dir.filePath("error.log")).toStdString();
    }

    void TearDown() override {
        for (QProcess* p : {&proxy, &service}) {
            p->terminate();
            p->waitForFinished();
        }
    }

    QByteArrayList lines(const QString& name) {
        QByteArrayList out = text(dir.filePath(name)).split('\n');
        out.removeAll(QByteArray());
        return out;
    }

    QTemporaryDir dir;
    QString nginx;
    QProcess service;
    QProcess proxy;
    QByteArray log;
    quint16 servicePort = 0;
    quint16 frontPort = 0;
};

// A few seconds of load through the cache: almost every answer comes from it, each complete
// and as the service gave it (inflated by nginx for clients that do not take gzip), and the
// service sees about one request per document per max-age.
TEST_F(DeploymentTest, BehindNginxAlmostEveryAnswerIsACacheHit) {
    const QByteArrayList targets = {"/v1/prices?currency=USD",
                                    "/v1/history?series=XAU&range=1Y&currency=USD&unit=gram",
                                    "/v1/history?series=XAG&range=All&currency=USD&unit=troyOunce",
                                    "/v1/history?series=XPT&range=1D&currency=USD&unit=kilo"};
    QByteArrayList expected;
    QByteArrayList requests;
    int maxAge = 45;
    for (const QByteArray& target : targets) {
        const auto origin = exchange(servicePort, get(target));
        expected << origin.body;
        maxAge = std::min(maxAge, origin.header("Cache-Control").split('=').last().toInt());
        requests << get(target) << get(target, "Accept-Encoding: gzip\r\n");
    }
    ASSERT_GT(maxAge, 0);
    const qsizetype warm = lines("front.log").size();
    QElapsedTimer clock;
    clock.start();
    test::LoadClient load(frontPort, requests,
                          [&](int request, const test::RawAnswer& answer) -> QString {
                              QByteArray body = answer.body;
                              if (answer.header("Content-Encoding") == "gzip") {
                                  GzipDecoder decoder(64 * 1024 * 1024);
                                  decoder.feed(body);
                                  decoder.finish();
                                  body = decoder.output();
                              } else if (request % 2 == 1) {
                                  return QStringLiteral("not compressed though asked to be");
                              }
                              return answer.status == 200 && body == expected[request / 2]
                                         ? QString()
                                         : QString::fromLatin1(answer.head);
                          });
    const auto result = load.run(50, 100, 60s);
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    EXPECT_EQ(result.errors.mid(0, 5), QStringList());
    EXPECT_EQ(result.answers, 50 * 100);
    // nginx writes its log line as each answer ends.
    ASSERT_TRUE(
        test::waitUntil([&] { return lines("front.log").size() - warm == result.answers; }));
    const QByteArrayList statuses = lines("front.log").mid(warm);
    const auto hits = statuses.count("HIT");
    const auto origin = lines("origin.log").size();
    std::printf(
        "nginx cache: %lld of %lld answers were hits (%.2f %%); the service saw %lld "
        "requests in %.1f s (max-age %d s)\n",
        static_cast<long long>(hits), static_cast<long long>(statuses.size()),
        100.0 * static_cast<double>(hits) / static_cast<double>(statuses.size()),
        static_cast<long long>(origin), seconds, maxAge);
    EXPECT_GE(hits * 100, statuses.size() * 99);
    // Once per document, and again for each max-age that ran out meanwhile.
    const double rounds = 1 + std::ceil(seconds / maxAge);
    EXPECT_GE(origin, targets.size());
    EXPECT_LE(static_cast<double>(origin), static_cast<double>(targets.size()) * rounds);
}

}  // namespace
}  // namespace mintlux
