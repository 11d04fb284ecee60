// What a panel pays for the title: a one-shot mintlux-title run (process start to printed line)
// and the bus round trip alone, against the real publisher on a private session bus.
#include "PrivateBus.h"
#include "TitleFormat.h"
#include "platform/TitlePublisher.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>

#include <benchmark/benchmark.h>

using namespace mintlux;

namespace {

title::TitleState sampleState(int price) {
    title::TitleState s;
    s.segments = {{QStringLiteral("Au $2,%1").arg(price), QStringLiteral("none")},
                  {QString::fromUtf8(" \u25B21.23%"), QStringLiteral("positive")}};
    s.text = s.segments[0].text + s.segments[1].text;
    s.tooltip = s.text;
    s.direction = QStringLiteral("up");
    s.symbol = QStringLiteral("Au");
    s.updated = 1'765'000'000'000;
    return s;
}

TitlePublisher& publisher() {
    static TitlePublisher p(QDBusConnection::sessionBus());
    static const bool published = [] {
        p.publish(sampleState(346));
        return p.isPublished();
    }();
    if (!published) {
        throw std::runtime_error("the title could not be published on the private bus");
    }
    return p;
}

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void waitUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

void BM_OneShotProcess(benchmark::State& state) {
    publisher();
    const QStringList args{QStringLiteral("--format"), QStringLiteral("waybar")};
    const double before = childCpuSeconds();
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral(MINTLUX_TITLE_BIN), args);
        waitUntil([&] { return p.state() == QProcess::NotRunning; });
        if (p.exitCode() != 0 || p.readAllStandardOutput().isEmpty()) {
            state.SkipWithError("mintlux-title failed");
            break;
        }
    }
    // The reader's own processor time, which the wall time on a busy machine hides.
    state.counters["reader_cpu_ms"] = benchmark::Counter((childCpuSeconds() - before) * 1000.0 /
                                                         static_cast<double>(state.iterations()));
}
BENCHMARK(BM_OneShotProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetTitleRoundTrip(benchmark::State& state) {
    publisher();
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench-reader"));
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(title::kService), QLatin1String(title::kPath),
        QLatin1String(title::kInterface), QStringLiteral("GetTitle"));
    for (auto _ : state) {
        QDBusPendingCall pending = client.asyncCall(call);
        waitUntil([&] { return pending.isFinished(); });
        if (pending.isError()) {
            state.SkipWithError("GetTitle failed");
            break;
        }
    }
}
BENCHMARK(BM_GetTitleRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A change with nobody listening: the signal goes to the bus daemon, which drops it.
void BM_PublishChange(benchmark::State& state) {
    TitlePublisher& p = publisher();
    int price = 0;
    for (auto _ : state) {
        p.publish(sampleState(price++ % 1000));
    }
}
BENCHMARK(BM_PublishChange)->Unit(benchmark::kMicrosecond);

void BM_FormatWaybar(benchmark::State& state) {
    const title::TitleState s = sampleState(346);
    for (auto _ : state) {
        benchmark::DoNotOptimize(title::formatTitle(s, title::Format::waybar));
    }
}
BENCHMARK(BM_FormatWaybar)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    mintlux::test::ensurePrivateSessionBus();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    mintlux::test::stopPrivateSessionBus();
    return 0;
}
