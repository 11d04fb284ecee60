#include "FakeStatusNotifierWatcher.h"
#include "HostConnection.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "Printers.h"
#include "Wait.h"
#include "persistence/PreferencesStore.h"
#include "persistence/SettingsKey.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace mintlux::test;

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

QByteArray pricesFor(const QByteArray& currency) {
    if (currency == "EUR") {
        return latestDocument("EUR", {{"XAU", "2150.5", "troyOunce", "2150"}});
    }
    return latestDocument("USD", {{"XAU", "2345.678", "troyOunce", "2317.08"},
                                  {"XAG", "29.456", "troyOunce", "30.10"},
                                  {"XPT", "980.5", "troyOunce", "975"},
                                  {"XPD", "1012.25", "troyOunce", "1000"}});
}

// Visible top-level windows titled exactly `title`, as the window system lists them.
QStringList visibleWindows(const QString& title) {
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
    search.waitForFinished(10000);
    return QString::fromUtf8(search.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// CPU seconds (user + system) the process has used, from /proc.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return (fields.value(13).toDouble() + fields.value(14).toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

class AppEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        QDir(home.path()).mkpath(QStringLiteral("config"));
        QDir(home.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(home.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
    }

    void TearDown() override {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
    }

    QString label(const QString& service) {
        return host.property(service, kItemPath, kItemInterface, QStringLiteral("XAyatanaLabel"))
            .toString();
    }
    bool labelBecomes(const QString& service, const QString& text) {
        return waitFor([&] { return label(service) == text; });
    }
    void activate(const QString& service) {
        const QDBusMessage reply =
            host.call(service, kItemPath, kItemInterface, QStringLiteral("Activate"), {1200, 12});
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess app;
    HostConnection host;
};

}  // namespace

TEST_F(AppEndToEndTest, TheRealAppShowsPricesInItsItemAndPopup) {
    LoopbackHttpServer server(std::nullopt, MINTLUX_E2E_PORT);
    bool holdFirst = true;
    server.route("/v1/prices", [&](const LoopbackHttpServer::Request& request) {
        LoopbackHttpServer::Response response(200, pricesFor(request.queryItem("currency")));
        if (holdFirst) {
            response.mode = LoopbackHttpServer::Mode::held;
            holdFirst = false;
        }
        return response;
    });
    FakeStatusNotifierWatcher watcher;
    QSignalSpy registered(&watcher, &FakeStatusNotifierWatcher::itemRegistered);

    QElapsedTimer startUp;
    startUp.start();
    app.start(QStringLiteral(MINTLUX_E2E_APP), {});
    ASSERT_TRUE(app.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return !registered.isEmpty(); })) << "the item never registered";
    const qint64 registeredMs = startUp.elapsed();
    std::cout << "[measure] cold start to item registered: " << registeredMs << " ms\n";
    const QString service = registered.first().first().toString().section(QLatin1Char('/'), 0, 0);

    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au \u2014")))
        << "placeholder before the first answer; label is " << label(service).toStdString();
    ASSERT_TRUE(waitFor([&] { return server.heldCount() == 1; }));
    server.release();
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au $2,346 \u25B21.23%")))
        << "label is " << label(service).toStdString();

    activate(service);
    ASSERT_TRUE(waitFor([] { return !visibleWindows(QStringLiteral("Mintlux")).isEmpty(); }))
        << "Activate opened no popup";
    waitFor([] { return false; }, 500);  // let it paint
    const WId popup = visibleWindows(QStringLiteral("Mintlux")).first().toULongLong();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(popup);
    EXPECT_EQ(shot.size(), QSize(320, 360));
    const QString artifacts = QStringLiteral(MINTLUX_E2E_ARTIFACTS);
    QDir().mkpath(artifacts);
    EXPECT_TRUE(shot.save(artifacts + QStringLiteral("/popup.png")));

    activate(service);
    EXPECT_TRUE(waitFor([] { return visibleWindows(QStringLiteral("Mintlux")).isEmpty(); }))
        << "a second Activate closes the popup";

    // Idle: between polls nothing should run.
    const double cpuBefore = cpuSeconds(app.processId());
    waitFor([] { return false; }, 5000);
    const double idleCpu = cpuSeconds(app.processId()) - cpuBefore;
    std::cout << "[measure] CPU used in 5 s idle: " << idleCpu << " s\n";
    EXPECT_LT(idleCpu, 0.5);

    // A second launch shows the first one's popup and leaves.
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(MINTLUX_E2E_APP), {});
    ASSERT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitFor([] { return !visibleWindows(QStringLiteral("Mintlux")).isEmpty(); }));
    EXPECT_EQ(watcher.items().size(), 1) << "still one item";
    activate(service);

    PreferencesStore preferences(home.filePath(QStringLiteral("config/mintlux/preferences.json")));
    preferences.set(QStringLiteral("XAG"), SettingsKey::primaryMetal);
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Ag $29.46 \u25BC2.14%")))
        << "label is " << label(service).toStdString();
    preferences.set(QStringLiteral("priceOnly"), SettingsKey::displayMode);
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Ag $29.46")))
        << "label is " << label(service).toStdString();

    const QDBusMessage quit =
        host.call(service, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                  QStringLiteral("Event"),
                  {3, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0U});
    EXPECT_EQ(quit.type(), QDBusMessage::ReplyMessage) << quit.errorMessage().toStdString();
    // The quit may have landed while the reply was awaited; waitForFinished() fails on a process
    // that has already ended.
    ASSERT_TRUE(waitFor([&] { return app.state() == QProcess::NotRunning; }));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(AppEndToEndTest, APricingServerDownAtStartKeepsThePlaceholderAndIsRecoveredFrom) {
    {
        PreferencesStore preferences(
            home.filePath(QStringLiteral("config/mintlux/preferences.json")));
        preferences.set(1, SettingsKey::refreshIntervalSec);
    }
    app.setProcessChannelMode(QProcess::SeparateChannels);
    FakeStatusNotifierWatcher watcher;
    QSignalSpy registered(&watcher, &FakeStatusNotifierWatcher::itemRegistered);
    app.start(QStringLiteral(MINTLUX_E2E_APP), {});
    ASSERT_TRUE(waitFor([&] { return !registered.isEmpty(); }));
    const QString service = registered.first().first().toString().section(QLatin1Char('/'), 0, 0);

    QByteArray errors;
    ASSERT_TRUE(waitFor([&] {
        errors += app.readAllStandardError();
        return errors.count('\n') >= 2;
    })) << "one line per failed cycle";
    for (const QByteArray& line : errors.split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_TRUE(line.startsWith("Mintlux: pricing refresh failed: ")) << line.toStdString();
        }
    }
    EXPECT_EQ(label(service), QStringLiteral("Au \u2014"));

    LoopbackHttpServer server(std::nullopt, MINTLUX_E2E_PORT);
    server.route("/v1/prices", LoopbackHttpServer::Response(200, pricesFor("USD")));
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au $2,346 \u25B21.23%")))
        << "label is " << label(service).toStdString();
}
