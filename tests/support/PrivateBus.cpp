#include "PrivateBus.h"

#include <csignal>
#include <memory>
#include <stdexcept>
#include <sys/prctl.h>

#include <QFile>
#include <QTemporaryDir>

namespace mintlux::test {

namespace {

struct Bus {
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
};

std::unique_ptr<Bus> g_bus;

}  // namespace

void startChild(QProcess& process, const QString& program, const QStringList& arguments) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        throw std::runtime_error(program.toStdString() +
                                 " did not start: " + process.errorString().toStdString());
    }
}

QByteArray startServer(QProcess& process, const QString& program, const QStringList& arguments) {
    startChild(process, program, arguments);
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(15000)) {
            throw std::runtime_error(program.toStdString() + " printed nothing");
        }
    }
    return process.readLine().trimmed();
}

QString ensurePrivateSessionBus() {
    if (g_bus) {
        return g_bus->address;
    }
    auto b = std::make_unique<Bus>();
    const QString config = b->dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write the test bus configuration");
    }
    file.write(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>unix:dir=" +
        b->dir.path().toUtf8() +
        "</listen><auth>EXTERNAL</auth>"
        "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    file.close();
    b->address = QString::fromUtf8(
        startServer(b->daemon, QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1"), QStringLiteral("--nopidfile")}));
    qputenv("DBUS_SESSION_BUS_ADDRESS", b->address.toUtf8());
    g_bus = std::move(b);
    return g_bus->address;
}

void stopPrivateSessionBus() {
    if (g_bus) {
        g_bus->daemon.terminate();
        g_bus->daemon.waitForFinished(5000);
        g_bus.reset();
    }
}

}  // namespace mintlux::test
