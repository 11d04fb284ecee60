#include "PricingService.h"
#include "ServiceLog.h"
#include "ServiceOptions.h"
#include "SocketActivation.h"
#include "SyntheticMarket.h"
#include "providers/LiveProviders.h"
#include "storage/SqliteStore.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QSocketNotifier>

using namespace mintlux;
using namespace mintlux::server;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = write(g_signalPipe[1], &byte, 1);
}

// SIGTERM from systemd ends the event loop, so the store closes cleanly.
void quitOnTermination(QCoreApplication& app) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// Every client holds a descriptor, waiting ones included; the usual soft limit of 1,024 is far
// below what the connection cap and the wait queue allow for, and the hard limit is what the
// administrator granted.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    logLine("open files: up to " + (limit.rlim_cur == RLIM_INFINITY
                                        ? QStringLiteral("unlimited")
                                        : QString::number(limit.rlim_cur)));
}

}  // namespace

int main(int argc, char** argv) {
    // Taken before anything else can start a child process that would inherit the variables.
    const auto activated = SocketActivation::listeningSocket();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mintlux-pricing"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MINTLUX_VERSION));

    QString error;
    const auto options = ServiceOptions::parse(QCoreApplication::arguments(), error);
    if (!options) {
        logLine(error);
        return 2;
    }

    raiseOpenFileLimit();
    QNetworkAccessManager network;
    std::shared_ptr<MockPricingProxyClient> walk;
    LiveProviders providers;
    if (options->source == QLatin1String("synthetic")) {
        walk = std::make_shared<MockPricingProxyClient>();
        providers = SyntheticMarket::providers(walk);
        logLine(
            QStringLiteral("serving SYNTHETIC demo prices (--source synthetic), not market "
                           "data"));
    } else {
        providers = makeLiveProviders(network);
    }

    std::unique_ptr<PricingService> service;
    try {
        service = std::make_unique<PricingService>(
            std::make_unique<SqliteStore>(options->databasePath), std::move(providers),
            Clock::system(), PricingService::Options{options->source, {}, {}});
    } catch (const std::exception& e) {
        logLine(QString::fromUtf8(e.what()));
        return 1;
    }

    if (activated) {
        if (!service->http().adoptListeningSocket(*activated)) {
            logLine("cannot use the socket-activated listener: " + service->http().errorString());
            return 1;
        }
        logLine(QStringLiteral("listening on the socket-activated listener"));
    } else if (!service->http().listen(options->address, options->port)) {
        logLine("cannot listen on " + options->address.toString() + ':' +
                QString::number(options->port) + ": " + service->http().errorString());
        return 1;
    } else {
        logLine("listening on " + options->address.toString() + ':' +
                QString::number(service->http().port()) + ", database " + options->databasePath);
    }

    if (walk) {
        service->seedIfEmpty(SyntheticMarket::recentWeek(*walk));
    }
    service->start();
    quitOnTermination(app);
    const int rc = QCoreApplication::exec();
    service.reset();
    return rc;
}
