#include "FakeLoginItem.h"
#include "FakeStatusNotifierWatcher.h"
#include "HostConnection.h"
#include "LoopbackHttpServer.h"
#include "PricingDocuments.h"
#include "Printers.h"
#include "SegmentedChooser.h"
#include "SettingsView.h"
#include "TitleState.h"
#include "Wait.h"
#include "alerts/AlertStore.h"
#include "persistence/PreferencesStore.h"
#include "persistence/SettingsKey.h"
#include "persistence/VaultStore.h"
#include "platform/XEmbedStatusItem.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QComboBox>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtDBus/QDBusMetaType>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace mintlux::test;

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
// xdotool matches names as regular expressions over bytes: ".*" stands for the em dash.
const QString kChart = QStringLiteral("Gold .* Price Chart");
const QString kSettings = QStringLiteral("Mintlux Settings");

QByteArray pricesFor(const QByteArray& currency) {
    if (currency == "EUR") {
        return latestDocument("EUR", {{"XAU", "2150.5", "troyOunce", "2150"}});
    }
    return latestDocument("USD", {{"XAU", "2345.678", "troyOunce", "2317.08"},
                                  {"XAG", "29.456", "troyOunce", "30.10"},
                                  {"XPT", "980.5", "troyOunce", "975"},
                                  {"XPD", "1012.25", "troyOunce", "1000"}});
}

// Runs xdotool on the shared display; what it printed.
QString xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Visible top-level windows titled exactly `title`, as the window system lists them.
QStringList visibleWindows(const QString& title) {
    return xdotool({"search", "--onlyvisible", "--name", '^' + title + '$'})
        .split('\n', Qt::SkipEmptyParts);
}
bool shown(const QString& title) {
    return !visibleWindows(title).isEmpty();
}
bool popupShown() {
    return shown(QStringLiteral("Mintlux"));
}
QString windowNamed(const QString& title) {
    return visibleWindows(title).value(0);
}

void pause(int ms) {
    waitFor([] { return false; }, ms);
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

// Where the window system has put a top-level window, in screen coordinates.
QRect windowGeometry(const QString& window) {
    QMap<QString, int> v;
    for (const QString& line :
         xdotool({"getwindowgeometry", "--shell", window}).split('\n', Qt::SkipEmptyParts)) {
        v[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    }
    return {v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]};
}

// Saves a grab of `window` (0: the whole screen) among the artifacts; its size.
QSize saveGrab(WId window, const QString& file, QRect area = QRect(0, 0, -1, -1)) {
    QDir().mkpath(QStringLiteral(MINTLUX_E2E_ARTIFACTS));
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window, area.x(), area.y(),
                                                                      area.width(), area.height());
    EXPECT_TRUE(shot.save(QStringLiteral(MINTLUX_E2E_ARTIFACTS "/") + file)) << file.toStdString();
    return shot.size();
}

// A real click through XTEST, as the user's.
bool clickAt(QPoint p) {
    return QProcess::execute(
               QStringLiteral("xdotool"),
               {"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"}) == 0;
}

// Clicks at `target` until `done`. A window may take a moment after mapping before it takes the
// pointer; until then a click falls through.
bool clickUntil(QPoint target, const std::function<bool()>& done) {
    return waitFor([&] {
        if (done()) {
            return true;
        }
        EXPECT_TRUE(clickAt(target));
        return waitFor(done, 2000);
    });
}

// The centre of a button in the popup's footer, relative to the popup, counted from the right:
// 0 is quit, 1 settings, 2 the vault, 3 discreet mode. The footer is the last row: 8 px margins and
// spacing, the buttons rightmost, every widget centred on the row's height. This process runs the
// same toolkit and style on the same display, so a button set up like the popup's sizes the same
// here.
QPoint footerButtonCentre(QSize popup, int fromRight = 0) {
    QToolButton like;
    like.setAutoRaise(true);
    like.setIconSize(QSize(16, 16));
    QPixmap icon(16, 16);
    icon.fill(Qt::black);
    like.setIcon(QIcon(icon));
    const QSize button = like.sizeHint();
    QFont caption = like.font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    const int row = std::max({button.height(), QFontMetrics(caption).height(), 6});
    return {popup.width() - 8 - button.width() / 2 - fromRight * (button.width() + 8),
            popup.height() - 8 - row / 2};
}

// What the process has mapped, as /proc lists it.
QByteArray mappings(qint64 pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}
// The chart module as /proc lists it when mapped: its path with links resolved.
QByteArray chartModuleMapping() {
    const QString path = QStringLiteral(MINTLUX_E2E_CHART_MODULE);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return ' ' + (canonical.isEmpty() ? path : canonical).toUtf8() + '\n';
}

// Where a control of the settings window on `page` sits in it, or one `segment` of it: the same
// view built here, unshown, with the same toolkit, style and fonts, fills a window of the same
// size.
QPoint settingsControlCentre(SettingsView::Tab page, QWidget* (*control)(SettingsView&),
                             int segment = -1) {
    QTemporaryDir dir;
    PreferencesStore preferences(dir.filePath(QStringLiteral("preferences.json")));
    FakeLoginItem loginItem;
    SettingsView view(preferences, loginItem);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.setFixedSize(480, 360);
    view.setSelection(page);
    view.show();
    QCoreApplication::processEvents();
    QWidget* widget = control(view);
    const QRect area =
        segment < 0 ? widget->rect() : static_cast<SegmentedChooser*>(widget)->segmentRect(segment);
    return widget->mapTo(&view, area.center());
}

xcb_connection_t* x11() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// The window a process shows in a system tray: one of its windows that the tray has reparented
// out of the root window and mapped, with its geometry.
std::optional<QRect> dockedWindowOf(qint64 pid) {
    for (const QString& id : xdotool({"search", "--onlyvisible", "--pid", QString::number(pid)})
                                 .split('\n', Qt::SkipEmptyParts)) {
        const auto window = static_cast<xcb_window_t>(id.toULong());
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(x11(), xcb_query_tree(x11(), window), nullptr);
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(x11(), xcb_get_geometry(x11(), window), nullptr);
        std::optional<QRect> found;
        if (tree != nullptr && geometry != nullptr && tree->parent != tree->root) {
            found = QRect(geometry->x, geometry->y, geometry->width, geometry->height);
        }
        std::free(tree);
        std::free(geometry);
        if (found) {
            return found;
        }
    }
    return std::nullopt;
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
        env.insert(QStringLiteral("LOCPATH"), QStringLiteral(MINTLUX_E2E_LOCPATH));
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

    // Starts the app; the bus name its item registered under with `watcher`.
    QString launch(FakeStatusNotifierWatcher& watcher) {
        QSignalSpy registered(&watcher, &FakeStatusNotifierWatcher::itemRegistered);
        app.start(QStringLiteral(MINTLUX_E2E_APP), {});
        EXPECT_TRUE(waitFor([&] { return !registered.isEmpty(); })) << "never registered";
        return registered.isEmpty() ? QString()
                                    : registered.first().first().toString().section('/', 0, 0);
    }
    // The pricing fixture on the app's port, answering in dollars unless routed otherwise.
    LoopbackHttpServer& serve() {
        server = std::make_unique<LoopbackHttpServer>(std::nullopt, MINTLUX_E2E_PORT);
        server->route("/v1/prices", LoopbackHttpServer::Response(200, pricesFor("USD")));
        return *server;
    }
    QString preferencesFile() const {
        return home.filePath(QStringLiteral("config/mintlux/preferences.json"));
    }

    QString label(const QString& service) {
        return host.property(service, kItemPath, kItemInterface, QStringLiteral("XAyatanaLabel"))
            .toString();
    }
    ::testing::AssertionResult labelBecomes(const QString& service, const QString& text) {
        if (waitFor([&] { return label(service) == text; })) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "label is " << label(service).toStdString();
    }
    void activate(const QString& service) {
        const QDBusMessage reply =
            host.call(service, kItemPath, kItemInterface, QStringLiteral("Activate"), {1200, 12});
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // Opens the popup, unless `shown` says it is, and waits for it: the visible window titled
    // "Mintlux" at its 320 x 360. Its geometry; the last seen when that never came.
    QRect openPopup(const QString& service, bool shown = false) {
        if (!shown) {
            activate(service);
        }
        QRect popup;
        EXPECT_TRUE(waitFor([&] {
            const QString window = windowNamed(QStringLiteral("Mintlux"));
            popup = window.isEmpty() ? QRect() : windowGeometry(window);
            return popup.size() == QSize(320, 360);
        })) << "no 320x360 popup; last seen "
            << popup.width() << "x" << popup.height();
        return popup;
    }

    // Opens the popup unless it is open, then the window titled `title` from it: by clicking
    // the footer button `fromRight` (see footerButtonCentre) or, when that is negative, gold's
    // chart by keyboard (the popup focuses gold's row; Tab moves to its chart button, space
    // presses it). Reports the time from the first click or key to the window seen on screen,
    // xdotool's own time included.
    void openFromPopup(const QString& service, const QString& title, int fromRight = -1) {
        const QRect popup = openPopup(service, popupShown());
        QElapsedTimer clock;
        bool opened = false;
        if (fromRight >= 0) {
            clock.start();
            opened = clickUntil(popup.topLeft() + footerButtonCentre(popup.size(), fromRight),
                                [&] { return shown(title); });
        } else {
            pause(300);  // the popup takes the keyboard once mapped
            clock.start();
            xdotool({"key", "Tab", "space"});
            opened = waitFor([&] { return shown(title); });
        }
        if (!opened) {
            saveGrab(0, QStringLiteral("not-opened.png"));
        }
        EXPECT_TRUE(opened) << title.toStdString() << " never opened";
        std::cout << "[measure] " << title.toStdString() << " opened from the popup in "
                  << clock.elapsed() << " ms\n";
    }

    // The window and, to show what else is on it, the whole screen. The window's size.
    QSize screenshot(const QString& title, const QString& file) {
        pause(500);  // let it paint
        saveGrab(0, QStringLiteral("screen-") + file);
        return saveGrab(windowNamed(title).toULongLong(), file);
    }

    // Escape, typed into the window as the user would.
    void closeWithEscape(const QString& title) {
        xdotool({"windowfocus", "--sync", windowNamed(title)});
        xdotool({"key", "Escape"});
        EXPECT_TRUE(waitFor([&] { return !shown(title); }))
            << "Escape left " << title.toStdString() << " open";
    }
    // Whether the keyboard goes to a window titled `title`, under that title.
    void expectFocusedUnderItsTitle(const QString& pattern, const QString& title) {
        EXPECT_TRUE(waitFor([&] {
            return xdotool({"getwindowfocus"}).trimmed() == windowNamed(pattern);
        })) << title.toStdString()
            << " does not have the keyboard";
        EXPECT_EQ(xdotool({"getwindowname", windowNamed(pattern)}).trimmed(), title);
    }

    std::unique_ptr<LoopbackHttpServer> server;
    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess app;
    HostConnection host;
};

}  // namespace

TEST_F(AppEndToEndTest, TheRealAppShowsPricesInItsItemAndPopup) {
    bool holdFirst = true;
    serve().route("/v1/prices", [&](const LoopbackHttpServer::Request& request) {
        LoopbackHttpServer::Response response(200, pricesFor(request.queryItem("currency")));
        if (holdFirst) {
            response.mode = LoopbackHttpServer::Mode::held;
            holdFirst = false;
        }
        return response;
    });
    FakeStatusNotifierWatcher watcher;
    QElapsedTimer startUp;
    startUp.start();
    const QString service = launch(watcher);
    ASSERT_FALSE(service.isEmpty());
    std::cout << "[measure] cold start to item registered: " << startUp.elapsed() << " ms\n";

    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au \u2014"))) << "before the first answer";
    ASSERT_TRUE(waitFor([&] { return server->heldCount() == 1; }));
    server->release();
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au $2,346 \u25B21.23%")));

    activate(service);
    ASSERT_TRUE(waitFor(popupShown)) << "Activate opened no popup";
    EXPECT_EQ(screenshot(QStringLiteral("Mintlux"), QStringLiteral("popup.png")), QSize(320, 360));
    activate(service);
    EXPECT_TRUE(waitFor([] { return !popupShown(); })) << "a second Activate closes the popup";

    // Idle: between polls nothing should run.
    const double cpuBefore = cpuSeconds(app.processId());
    pause(5000);
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
    EXPECT_TRUE(waitFor(popupShown));
    EXPECT_EQ(watcher.items().size(), 1) << "still one item";
    activate(service);

    PreferencesStore preferences(preferencesFile());
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    preferences.set(QStringLiteral("XAG"), SettingsKey::primaryMetal);
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Ag $29.46 \u25BC2.14%")));
    std::cout << "[measure] label followed the preference write in " << sinceWrite.elapsed()
              << " ms\n";
    preferences.set(QStringLiteral("priceOnly"), SettingsKey::displayMode);
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Ag $29.46")));

    // The menu: 2 is discreet mode, stored by the app and leaving prices in view; 4 is quit.
    const auto clickEntry = [&](int id) {
        return host.call(service, QStringLiteral("/MenuBar"),
                         QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
                         {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0U});
    };
    EXPECT_EQ(clickEntry(2).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitFor(
        [&] { return preferences.object(SettingsKey::discreetMode) == PreferenceValue(true); }));
    pause(300);
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Ag $29.46")));
    const QDBusMessage quit = clickEntry(4);
    EXPECT_EQ(quit.type(), QDBusMessage::ReplyMessage) << quit.errorMessage().toStdString();
    // The quit may have landed while the reply was awaited; waitForFinished() fails on a process
    // that has already ended.
    ASSERT_TRUE(waitFor([&] { return app.state() == QProcess::NotRunning; }));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(AppEndToEndTest, WithoutAWatcherTheAppDocksItsWholeTitleInATray) {
    serve();
    // trayer along the top edge, right-aligned, as wide as its icons ask.
    QProcess trayer;
    trayer.setProcessChannelMode(QProcess::MergedChannels);
    trayer.start(QStringLiteral("trayer"),
                 {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28",
                  "--SetDockType", "false", "--SetPartialStrut", "false"});
    ASSERT_TRUE(trayer.waitForStarted(10000));
    ASSERT_TRUE(waitFor([] { return XEmbedStatusItem::trayAvailable(); }))
        << "trayer never took the tray selection: " << trayer.readAll().toStdString();

    app.start(QStringLiteral(MINTLUX_E2E_APP), {});
    ASSERT_TRUE(app.waitForStarted(10000));
    std::optional<QRect> docked;
    // The tray sizes its slot in steps, and the title grows once prices arrive.
    ASSERT_TRUE(waitFor([&] {
        docked = dockedWindowOf(app.processId());
        return docked && docked->height() >= 16 && docked->width() > 3 * docked->height();
    })) << "no docked window wider than tall with the whole title; last seen "
        << (docked ? docked->width() : 0) << "x" << (docked ? docked->height() : 0);

    pause(300);  // let the tray repaint around the settled slot
    saveGrab(0, QStringLiteral("trayer.png"));
}

TEST_F(AppEndToEndTest, TheWindowsOpenFromThePopupTheSettingsReachTheItemAndQuitEndsIt) {
    {
        PreferencesStore preferences(preferencesFile());
        VaultStore vault(preferences);
        vault.setEntry({*Decimal::parse("2.5"), MetalUnit::troyOunce, KaratGrade::k22},
                       MetalSeries::gold);
        vault.setEntry({Decimal(100), MetalUnit::gram, KaratGrade::k24}, MetalSeries::silver);
    }
    QList<QByteArray> asked;
    serve().route("/v1/prices", [&](const LoopbackHttpServer::Request& request) {
        asked << request.queryItem("currency");
        return LoopbackHttpServer::Response(200, pricesFor(request.queryItem("currency")));
    });
    FakeStatusNotifierWatcher watcher;
    const QString service = launch(watcher);
    ASSERT_TRUE(labelBecomes(service, QStringLiteral("Au $2,346 \u25B21.23%")));
    // Until a chart opens, the app has neither its module nor the chart library mapped.
    EXPECT_FALSE(mappings(app.processId()).contains(chartModuleMapping()));
    EXPECT_FALSE(mappings(app.processId()).contains("/libQt6Charts"));

    // Each window opens at its size, closes with Escape and opens again; settings stays open.
    // No history route here: the chart draws the synthetic history that stands in for it.
    const struct {
        QString title;
        int fromRight;
        QSize size;
        QString file;
    } windows[] = {
        {QStringLiteral("My Vault"), 2, {580, 640}, QStringLiteral("vault.png")},
        {kChart, -1, {700, 480}, QStringLiteral("chart.png")},
        {kSettings, 1, {480, 360}, QStringLiteral("settings-general.png")},
    };
    for (const auto& window : windows) {
        openFromPopup(service, window.title, window.fromRight);
        EXPECT_EQ(screenshot(window.title, window.file), window.size);
        if (window.title == kChart) {
            EXPECT_TRUE(mappings(app.processId()).contains(chartModuleMapping()))
                << "the chart window did not load the chart module";
        }
        closeWithEscape(window.title);
        openFromPopup(service, window.title, window.fromRight);
        if (window.title != kSettings) {
            closeWithEscape(window.title);
        }
    }

    const auto pages = [](SettingsView& view) -> QWidget* { return view.pageChooser(); };
    const QPoint origin = windowGeometry(windowNamed(kSettings)).topLeft();
    ASSERT_TRUE(clickAt(origin + settingsControlCentre(SettingsView::Tab::general, pages, 1)));
    screenshot(kSettings, QStringLiteral("settings-display.png"));

    // The currency chooser: open it, two down from the dollar to the euro, take it.
    const QPoint chooser =
        settingsControlCentre(SettingsView::Tab::display,
                              [](SettingsView& v) -> QWidget* { return v.currencyChooser(); });
    ASSERT_TRUE(clickAt(origin + chooser));
    pause(500);
    xdotool({"key", "Down", "Down", "Return"});
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au \u20AC2,150 \u25B20.02%")));
    EXPECT_TRUE(asked.contains(QByteArray("EUR"))) << "the service polls in euros now";
    EXPECT_EQ(PreferencesStore(preferencesFile()).string(SettingsKey::displayCurrency),
              QStringLiteral("EUR"));

    ASSERT_TRUE(clickAt(origin + settingsControlCentre(SettingsView::Tab::display, pages, 2)));
    screenshot(kSettings, QStringLiteral("settings-about.png"));

    // Discreet mode from the popup's footer: stored at once, and the vault shows only masks.
    closeWithEscape(kSettings);
    const QRect footer = openPopup(service);
    ASSERT_TRUE(clickUntil(footer.topLeft() + footerButtonCentre(footer.size(), 3), [&] {
        return PreferencesStore(preferencesFile()).object(SettingsKey::discreetMode) ==
               PreferenceValue(true);
    }));
    openFromPopup(service, QStringLiteral("My Vault"), 2);
    screenshot(QStringLiteral("My Vault"), QStringLiteral("vault-discreet.png"));
    closeWithEscape(QStringLiteral("My Vault"));

    // The popup's quit button, the rightmost in its footer, ends the app.
    const QRect popup = openPopup(service);
    const QPoint quit = popup.topLeft() + footerButtonCentre(popup.size());
    ASSERT_TRUE(clickUntil(quit, [&] { return app.state() == QProcess::NotRunning; }))
        << "clicking at " << quit.x() << "," << quit.y() << " did not quit";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

// With the pricing service down at start, under a window manager as on a desktop: each failed
// cycle is logged, the item keeps its placeholder, the popup says what failed, the chart says its
// history is simulated, a window opened from the popup gets the keyboard under its own title, and
// the service coming up is recovered from.
TEST_F(AppEndToEndTest, AServiceDownAtStartIsSaidWindowsTakeTheKeyboardAndItIsRecoveredFrom) {
    QProcess windowManager;  // killed with the object
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    ASSERT_TRUE(windowManager.waitForStarted(10000));
    const auto managed = [] {
        static const char kName[] = "_NET_SUPPORTING_WM_CHECK";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            x11(), xcb_intern_atom(x11(), 1, sizeof(kName) - 1, kName), nullptr);
        if (atom == nullptr || atom->atom == XCB_ATOM_NONE) {
            std::free(atom);
            return false;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x11())).data->root;
        xcb_get_property_reply_t* property = xcb_get_property_reply(
            x11(), xcb_get_property(x11(), 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool found = property != nullptr && xcb_get_property_value_length(property) > 0;
        std::free(atom);
        std::free(property);
        return found;
    };
    ASSERT_TRUE(waitFor(managed)) << "openbox never took the screen";

    PreferencesStore(preferencesFile()).set(1, SettingsKey::refreshIntervalSec);
    app.setProcessChannelMode(QProcess::SeparateChannels);
    FakeStatusNotifierWatcher watcher;
    const QString service = launch(watcher);
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

    openPopup(service);
    screenshot(QStringLiteral("Mintlux"), QStringLiteral("popup-service-down.png"));

    openFromPopup(service, kChart);
    EXPECT_TRUE(waitFor([] { return !popupShown(); })) << "the popup stayed open over the chart";
    expectFocusedUnderItsTitle(kChart, QStringLiteral("Gold \u2014 Price Chart"));
    pause(1500);  // the synthetic history lands and paints
    screenshot(kChart, QStringLiteral("chart-simulated.png"));
    errors += app.readAllStandardError();
    EXPECT_FALSE(errors.contains("the price chart could not be loaded")) << errors.toStdString();

    openFromPopup(service, kSettings, 1);
    expectFocusedUnderItsTitle(kSettings, kSettings);

    serve();
    EXPECT_TRUE(labelBecomes(service, QStringLiteral("Au $2,346 \u25B21.23%")));
}

namespace {

// A one-panel xfce4-panel layout holding just the system tray, which hosts status notifier
// items in 4.18.
const char* const kXfcePanelConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";

// The smallest rectangle holding every pixel that differs between two same-sized images.
QRect changedArea(const QImage& before, const QImage& after) {
    QRect area;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y)) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

}  // namespace

TEST_F(AppEndToEndTest, AnXfcePanelHostsTheItemAndAClickOnItOpensThePopup) {
    serve();
    const QString channels =
        home.filePath(QStringLiteral("config/xfce4/xfconf/xfce-perchannel-xml"));
    ASSERT_TRUE(QDir().mkpath(channels));
    QFile config(channels + QStringLiteral("/xfce4-panel.xml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(kXfcePanelConfig);
    config.close();
    // The panel's settings daemon is started by the bus, so the bus must know where they are.
    qDBusRegisterMetaType<QMap<QString, QString>>();
    const QDBusMessage updated = host.call(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"),
        {QVariant::fromValue(QMap<QString, QString>{
            {QStringLiteral("XDG_CONFIG_HOME"), env.value(QStringLiteral("XDG_CONFIG_HOME"))}})});
    ASSERT_EQ(updated.type(), QDBusMessage::ReplyMessage) << updated.errorMessage().toStdString();

    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.setProcessChannelMode(QProcess::MergedChannels);
    panel.start(QStringLiteral("xfce4-panel"), {QStringLiteral("--disable-wm-check")});
    ASSERT_TRUE(panel.waitForStarted(10000));
    const auto watcherProperty = [&](const QString& name) {
        return host.property(QStringLiteral("org.kde.StatusNotifierWatcher"),
                             QStringLiteral("/StatusNotifierWatcher"),
                             QStringLiteral("org.kde.StatusNotifierWatcher"), name);
    };
    ASSERT_TRUE(waitFor([&] {
        return watcherProperty(QStringLiteral("IsStatusNotifierHostRegistered")).toBool();
    })) << "the panel's tray never became a host: "
        << panel.readAll().toStdString();
    pause(500);  // let the empty panel paint
    const QImage before = QGuiApplication::primaryScreen()->grabWindow(0).toImage();

    // As in an Xfce session, whose tray squeezes every icon into a square.
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("XFCE"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(MINTLUX_E2E_APP), {});
    ASSERT_TRUE(waitFor([&] {
        return !watcherProperty(QStringLiteral("RegisteredStatusNotifierItems"))
                    .toStringList()
                    .isEmpty();
    })) << "the item never registered with the panel";
    QRect item;
    ASSERT_TRUE(waitFor([&] {
        item = changedArea(before, QGuiApplication::primaryScreen()->grabWindow(0).toImage());
        return item.width() >= 8 && item.height() >= 8;
    })) << "the panel shows nothing for the item";
    pause(300);
    saveGrab(0, QStringLiteral("xfce-panel.png"), QRect(0, 0, 640, 60));

    // The panel, not this test, turns the click into the item's Activate.
    ASSERT_TRUE(clickUntil(item.center(), popupShown))
        << "clicking the item at " << item.center().x() << "," << item.center().y()
        << " opened no popup";
    saveGrab(0, QStringLiteral("xfce-panel-popup.png"), QRect(0, 0, 640, 420));
}

namespace {

// One Notify call to the notification server, as dbus-monitor printed it, with the id the
// server answered.
struct NotifyCall {
    QStringList strings;  // app name, icon, summary, body, then the actions and hint texts
    uint replacesId = 0;
    uint id = 0;
    QString text;  // the whole block, for the hints' types
    QString summary() const { return strings.value(2); }
    QString body() const { return strings.value(3); }
};

QList<NotifyCall> notifyCalls(const QString& monitorOutput) {
    QList<NotifyCall> calls;
    QMap<QString, qsizetype> bySerial;  // "sender serial" of each call
    const QStringList blocks = monitorOutput.split(QRegularExpression(QStringLiteral("\n(?=\\S)")));
    static const QRegularExpression header(QStringLiteral("sender=(\\S+) .*serial=(\\d+) "));
    static const QRegularExpression reply(
        QStringLiteral("destination=(\\S+) serial=\\d+ reply_serial=(\\d+)\\s+uint32 (\\d+)"));
    static const QRegularExpression quoted(QStringLiteral("string \"(.*)\"\\s*$"),
                                           QRegularExpression::MultilineOption);
    for (const QString& block : blocks) {
        if (block.startsWith(QStringLiteral("method call")) &&
            block.contains(QStringLiteral("member=Notify"))) {
            NotifyCall call;
            call.text = block;
            for (auto it = quoted.globalMatch(block); it.hasNext();) {
                call.strings << it.next().captured(1);
            }
            call.replacesId = QRegularExpression(QStringLiteral("uint32 (\\d+)"))
                                  .match(block)
                                  .captured(1)
                                  .toUInt();
            const auto h = header.match(block);
            bySerial.insert(h.captured(1) + ' ' + h.captured(2), calls.size());
            calls << call;
        } else if (block.startsWith(QStringLiteral("method return"))) {
            const auto r = reply.match(block);
            const auto call = bySerial.find(r.captured(1) + ' ' + r.captured(2));
            if (r.hasMatch() && call != bySerial.end()) {
                calls[*call].id = r.captured(3).toUInt();
            }
        }
    }
    return calls;
}

AlertRule alertRule(const char* id, MetalSeries metal, AlertCondition condition, const char* level,
                    bool repeating) {
    AlertRule rule;
    rule.id = QString::fromLatin1(id);
    rule.metal = metal;
    rule.condition = condition;
    rule.level = *Decimal::parse(std::string_view(level));
    rule.repeating = repeating;
    return rule;
}

}  // namespace

// Alerts against dunst on the test's private bus, under a clock set to a Wednesday morning in
// New York (prices only count while the market trades).
TEST_F(AppEndToEndTest, AlertsFireOnceOnCrossingsNeverOnBadDataAndTheirActionsWork) {
    struct Quote {
        const char* gold;
        const char* platinum;
        const char* silver;
        bool stale = false;
        const char* palladium = "1012.25";
    };
    // One quote per poll; the last repeats.
    std::vector<Quote> script{
        {"2390", "980", "29.46"}, {"2390", "980", "29.46"}, {"2390", "980", "28.90"}};
    std::size_t next = 0;
    serve().route("/v1/prices", [&](const LoopbackHttpServer::Request&) {
        const Quote q = script[std::min(next++, script.size() - 1)];
        QByteArray document = latestDocument("USD", {{"XAU", q.gold, "troyOunce", "2380"},
                                                     {"XAG", q.silver, "troyOunce", "29.5"},
                                                     {"XPT", q.platinum, "troyOunce", "975"},
                                                     {"XPD", q.palladium, "troyOunce", "1000"}});
        if (q.stale) {
            document.replace("\"stale\":false", "\"stale\":true");
        }
        return LoopbackHttpServer::Response(200, document);
    });
    {
        PreferencesStore preferences(preferencesFile());
        preferences.set(std::int64_t(1), SettingsKey::refreshIntervalSec);
        AlertStore(preferences)
            .setRules(
                {alertRule("gold", MetalSeries::gold, AlertCondition::above, "2400", true),
                 alertRule("platinum", MetalSeries::platinum, AlertCondition::above, "1000", false),
                 alertRule("silver", MetalSeries::silver, AlertCondition::below, "29", false),
                 alertRule("palladium", MetalSeries::palladium, AlertCondition::below, "1000",
                           false)});
    }
    // Preloaded rather than through the faketime command, which would stand between the test
    // and the app's process.
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(MINTLUX_E2E_LIBFAKETIME));
    env.insert(QStringLiteral("FAKETIME"), QStringLiteral("@2026-12-09 15:00:00"));
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    // Under AddressSanitizer the preloaded library comes before its runtime; the two intercept
    // different calls.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    app.setProcessEnvironment(env);
    const auto tooltip = [&] {
        return host
            .property(QString::fromLatin1(title::kService), QString::fromLatin1(title::kPath),
                      QString::fromLatin1(title::kInterface), QStringLiteral("Tooltip"))
            .toString();
    };

    // No notification server: the alert is in the tooltip (and the popup) all the same.
    FakeStatusNotifierWatcher watcher;
    ASSERT_FALSE(launch(watcher).isEmpty());
    EXPECT_TRUE(waitFor([&] {
        return tooltip().contains(QStringLiteral("Silver below $29.00: $28.90 per troy ounce at "));
    })) << tooltip().toStdString();
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(10000));

    QTemporaryDir dunstHome;
    QFile config(dunstHome.filePath(QStringLiteral("dunstrc")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    // Notifications stay until closed; the context menu picks gold's snooze without a person.
    config.write(
        "[global]\n  dmenu = /usr/bin/grep -m1 Snooze.*Gold\n"
        "[urgency_normal]\n  timeout = 0\n");
    config.close();
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"), {});
    QProcess dunst;
    dunst.start(QStringLiteral("dunst"), {QStringLiteral("-config"), config.fileName()});
    ASSERT_TRUE(waitFor([&] {
        return host.bus().interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.Notifications"));
    }));
    QString monitored;
    const auto calls = [&] {
        monitored += QString::fromUtf8(monitor.readAllStandardOutput());
        return notifyCalls(monitored);
    };

    // Restarted with silver still below its level: the once rule fired before and stays quiet.
    // Gold hovers around 2,400 through a stale and a zero quote; platinum jumps 8 % for one
    // quote, falls back, then jumps and is confirmed.
    script = {{"2390", "980", "28.90"},       {"2401", "980", "28.90"},
              {"2399", "1061", "28.90"},      {"2401", "980", "28.90"},
              {"2390", "980", "28.90", true}, {"2401", "980", "28.90", true},
              {"0", "980", "28.90"},          {"2399.5", "1061", "28.90"},
              {"2401", "1062", "28.90"},      {"2401", "1062", "28.90"}};
    next = 0;
    ASSERT_FALSE(launch(watcher).isEmpty());
    ASSERT_TRUE(waitFor([&] { return next > script.size() + 2; }, 30000));
    pause(1500);
    QList<NotifyCall> seen = calls();
    ASSERT_EQ(seen.size(), 2) << monitored.toStdString();
    EXPECT_EQ(seen[0].summary(), QStringLiteral("Gold above $2,400.00"));
    EXPECT_TRUE(seen[0].body().startsWith(QStringLiteral("$2,401.00 per troy ounce at ")))
        << seen[0].body().toStdString();
    EXPECT_EQ(seen[1].summary(), QStringLiteral("Platinum above $1,000.00"));
    EXPECT_EQ(seen[0].strings.value(0), QStringLiteral("Mintlux"));
    EXPECT_TRUE(seen[0].strings.contains(QStringLiteral("Snooze 1 hour")));
    EXPECT_TRUE(seen[0].text.contains(QRegularExpression(
        QStringLiteral("\"desktop-entry\"\\s+variant\\s+string \"org.mintlux.Mintlux\""))));
    EXPECT_TRUE(seen[0].text.contains(
        QRegularExpression(QStringLiteral("\"urgency\"\\s+variant\\s+byte 1"))));
    EXPECT_NE(seen[0].id, 0U);

    QProcess::execute(QStringLiteral("dunstctl"), {QStringLiteral("close-all")});
    // Gold's cooldown is over (its stored firing moved two hours back): re-armed and crossed
    // again, it replaces its own notification.
    {
        PreferencesStore preferences(preferencesFile());
        AlertStore alerts(preferences);
        AlertRule gold = *alerts.rule(QStringLiteral("gold"));
        gold.lastFired = *gold.lastFired - std::chrono::hours(2);
        alerts.put(gold);
    }
    script = {{"2390", "1062", "28.90"}, {"2402", "1062", "28.90"}};
    next = 0;
    ASSERT_TRUE(waitFor([&] { return calls().size() == 3; }, 15000)) << monitored.toStdString();
    seen = calls();
    EXPECT_EQ(seen[2].summary(), QStringLiteral("Gold above $2,400.00"));
    EXPECT_EQ(seen[2].replacesId, seen[0].id);

    // Snooze from dunst's context menu holds gold; its default action opens gold's chart.
    QProcess::execute(QStringLiteral("dunstctl"), {QStringLiteral("context")});
    EXPECT_TRUE(waitFor([&] {
        PreferencesStore preferences(preferencesFile());
        const auto gold = AlertStore(preferences).rule(QStringLiteral("gold"));
        return gold && gold->snoozedUntil.has_value();
    })) << "snooze was not stored";
    QProcess::execute(QStringLiteral("dunstctl"), {QStringLiteral("action"), QStringLiteral("0")});
    EXPECT_TRUE(waitFor([] { return shown(kChart); })) << "the default action opened no chart";
    screenshot(QStringLiteral("Gold .* Price Chart"), QStringLiteral("alert-chart.png"));

    // Do not disturb is the server's to keep: the alert still goes, once.
    const auto dunstctl = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("dunstctl"), arguments);
        process.waitForFinished(5000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    dunstctl({QStringLiteral("set-paused"), QStringLiteral("true")});
    script = {{"2402", "1062", "28.90", false, "990"}};
    next = 0;
    ASSERT_TRUE(waitFor([&] { return calls().size() == 4; }, 15000)) << monitored.toStdString();
    EXPECT_EQ(calls()[3].summary(), QStringLiteral("Palladium below $1,000.00"));
    EXPECT_EQ(dunstctl({QStringLiteral("is-paused")}), QStringLiteral("true"));
    pause(3000);
    EXPECT_EQ(calls().size(), 4) << "sent again while the server held it";

    dunst.terminate();
    dunst.waitForFinished(5000);
    monitor.terminate();
    monitor.waitForFinished(5000);
}
