#include "AppDelegate.h"
#include "EventLoop.h"
#include "FakePricingProxy.h"
#include "FakeStatusItem.h"
#include "ManualTimer.h"
#include "MetalRow.h"
#include "Printers.h"
#include "persistence/SettingsKey.h"
#include "pricing/MetalPricingService.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::settle;
using mintlux::test::waitUntil;

namespace {

struct RecordingWindows : AppWindows {
    struct Log {
        std::vector<std::pair<MetalSeries, Currency>> charts;
        std::vector<Currency> vaults;
        int settings = 0;
        int invalidations = 0;
    };
    explicit RecordingWindows(std::shared_ptr<Log> l) : log(std::move(l)) {}
    void showChart(MetalSeries m, Currency c) override { log->charts.emplace_back(m, c); }
    void showVault(Currency c) override { log->vaults.push_back(c); }
    void showSettings() override { ++log->settings; }
    void invalidateChartCache() override { ++log->invalidations; }
    std::shared_ptr<Log> log;
};

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        proxy->setLatest(Currency::usd, {{"XAU", "2345.678", "2317.08"}, {"XAG", "29.456"}});
        proxy->setLatest(Currency::eur, {{"XAU", "2150.5"}, {"XAG", "27.1"}});
    }

    void launch() {
        AppEnvironment env;
        env.preferences = preferences.get();
        env.pricingBaseURL = QUrl(QStringLiteral("http://127.0.0.1:9/"));
        env.makeProxy = [this] { return proxy; };
        env.makeStatusItem = [this] {
            auto item = std::make_unique<test::FakeStatusItem>();
            status = item.get();
            return item;
        };
        env.makePopover = [] { return std::make_unique<Popover>(Popover::Kind::popup); };
        env.timers = timers.factory();
        env.makeWindows = [this](std::shared_ptr<MetalPricingService>, VaultStore&) {
            return std::make_unique<RecordingWindows>(windowLog);
        };
        env.terminate = [this] { ++terminations; };
        delegate = std::make_unique<AppDelegate>(std::move(env));
        delegate->applicationDidFinishLaunching();
    }

    MenuBarView* view() const { return delegate->menuBarController()->view(); }
    // Waits for the notification's work, which always ends in a new popup view.
    void writeAndSettle(const PreferenceValue& value, const QString& key) {
        QPointer<MenuBarView> before = view();
        preferences->set(value, key);
        ASSERT_TRUE(waitUntil([&] { return view() != before.data(); }));
        settle();
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("preferences.json"));
    std::unique_ptr<PreferencesStore> preferences = std::make_unique<PreferencesStore>(path);
    std::shared_ptr<test::FakePricingProxy> proxy = std::make_shared<test::FakePricingProxy>();
    test::ManualTimerFactory timers;
    std::shared_ptr<RecordingWindows::Log> windowLog = std::make_shared<RecordingWindows::Log>();
    test::FakeStatusItem* status = nullptr;
    int terminations = 0;
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace

TEST_F(AppDelegateTest, LaunchShowsThePlaceholderThenTheFirstPrice) {
    launch();
    EXPECT_EQ(status->title().text, QStringLiteral("Au \u2014"));
    EXPECT_EQ(proxy->fetches[Currency::usd], 0) << "the service starts in a later turn";
    ASSERT_TRUE(
        waitUntil([&] { return status->title().text == QStringLiteral("Au $2,346 \u25B21.23%"); }));
    EXPECT_TRUE(delegate->pricingService()->isPolling());
    EXPECT_EQ(delegate->pricingService()->refreshInterval(), 60.0);
}

TEST_F(AppDelegateTest, LaunchFollowsTheStoredSettings) {
    preferences->set(QStringLiteral("XAG"), SettingsKey::primaryMetal);
    preferences->set(QStringLiteral("EUR"), SettingsKey::displayCurrency);
    preferences->set(QStringLiteral("priceOnly"), SettingsKey::displayMode);
    preferences->set(15, SettingsKey::refreshIntervalSec);
    launch();
    EXPECT_EQ(status->title().text, QStringLiteral("Ag \u2014"));
    ASSERT_TRUE(
        waitUntil([&] { return status->title().text == QStringLiteral("Ag \u20AC27.10"); }));
    EXPECT_EQ(delegate->pricingService()->currentCurrency(), Currency::eur);
    EXPECT_EQ(delegate->pricingService()->refreshInterval(), 15.0);
    EXPECT_EQ(proxy->fetches[Currency::usd], 0);
}

TEST_F(AppDelegateTest, AStoredIntervalBelowOneSecondIsRaisedToOne) {
    for (const int stored : {0, -30}) {
        preferences->set(stored, SettingsKey::refreshIntervalSec);
        launch();
        EXPECT_EQ(delegate->pricingService()->refreshInterval(), 1.0) << stored;
        delegate.reset();
    }
}

TEST_F(AppDelegateTest, ANotificationThatChangesNothingStillRebuildsThePopup) {
    launch();
    ASSERT_TRUE(waitUntil([&] { return delegate->pricingService()->isPolling(); }));
    const int fetches = proxy->fetches[Currency::usd];
    writeAndSettle(QStringLiteral("unrelated"), QStringLiteral("mintlux.somethingElse"));
    writeAndSettle(true, SettingsKey::launchAtLogin);
    EXPECT_TRUE(delegate->lastSnapshot()->launchAtLogin());
    EXPECT_EQ(proxy->fetches[Currency::usd], fetches) << "the poll loop was not restarted";
    EXPECT_EQ(windowLog->invalidations, 0);
}

TEST_F(AppDelegateTest, SettingsChangesReachServiceControllerAndChartCache) {
    launch();
    ASSERT_TRUE(waitUntil([&] { return status->title().text.contains(QLatin1Char('$')); }));

    writeAndSettle(30, SettingsKey::refreshIntervalSec);
    EXPECT_EQ(delegate->pricingService()->refreshInterval(), 30.0);

    writeAndSettle(QStringLiteral("EUR"), SettingsKey::displayCurrency);
    EXPECT_EQ(delegate->pricingService()->currentCurrency(), Currency::eur);
    EXPECT_EQ(delegate->menuBarController()->currency(), Currency::eur);
    EXPECT_EQ(view()->currency(), Currency::eur);
    EXPECT_EQ(windowLog->invalidations, 1);
    EXPECT_EQ(delegate->pricingService()->refreshInterval(), 30.0);
    EXPECT_TRUE(
        waitUntil([&] { return status->title().text.startsWith(QStringLiteral("Au \u20AC")); }));

    writeAndSettle(QStringLiteral("priceOnly"), SettingsKey::displayMode);
    EXPECT_EQ(status->title().text, QStringLiteral("Au \u20AC2,150"));
}

TEST_F(AppDelegateTest, ChoosingAMetalInThePopupGoesThroughThePreferences) {
    launch();
    ASSERT_TRUE(waitUntil([&] { return status->title().text.contains(QLatin1Char('$')); }));
    delegate->showPopover();
    QPointer<MenuBarView> before = view();
    view()->row(MetalSeries::silver)->selectButton()->click();

    EXPECT_EQ(preferences->string(SettingsKey::primaryMetal), QStringLiteral("XAG"));
    // One turn delivers the store's notification, the next applies it: no timer, no poll.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(status->title().text, QStringLiteral("Ag $29.46"));
    EXPECT_EQ(delegate->menuBarController()->primaryMetal(), MetalSeries::silver);
    EXPECT_TRUE(view()->row(MetalSeries::silver)->isPrimary());
    EXPECT_TRUE(waitUntil([&] { return before.isNull(); })) << "the old popup view is gone";
}

TEST_F(AppDelegateTest, WindowButtonsOpenInTheLastAppliedCurrency) {
    launch();
    writeAndSettle(QStringLiteral("GBP"), SettingsKey::displayCurrency);
    view()->row(MetalSeries::platinum)->chartButton()->click();
    view()->vaultButton()->click();
    view()->settingsButton()->click();
    ASSERT_EQ(windowLog->charts.size(), 1U);
    EXPECT_EQ(windowLog->charts[0],
              (std::pair<MetalSeries, Currency>(MetalSeries::platinum, Currency::gbp)));
    EXPECT_EQ(windowLog->vaults, std::vector<Currency>{Currency::gbp});
    EXPECT_EQ(windowLog->settings, 1);
}

TEST_F(AppDelegateTest, QuitAsksToTerminateAndShutdownReleasesEverything) {
    launch();
    view()->quitButton()->click();
    EXPECT_EQ(terminations, 1);

    QPointer<MetalPricingService> service = delegate->pricingService();
    delegate->applicationWillTerminate();
    EXPECT_FALSE(delegate->isObservingSettings());
    EXPECT_EQ(delegate->menuBarController(), nullptr);
    EXPECT_EQ(delegate->pricingService(), nullptr);
    EXPECT_TRUE(service.isNull());

    preferences->set(QStringLiteral("XPT"), SettingsKey::primaryMetal);
    settle();
    EXPECT_EQ(delegate->lastSnapshot()->primaryMetal(), MetalSeries::gold)
        << "no handler runs after termination";
}

TEST_F(AppDelegateTest, ACorruptPreferencesFileStartsWithDefaultsAndIsKept) {
    preferences.reset();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{ not json");
    }
    preferences = std::make_unique<PreferencesStore>(path);
    launch();
    EXPECT_EQ(status->title().text, QStringLiteral("Au \u2014"));
    EXPECT_EQ(delegate->lastSnapshot()->displayMode(), DisplayMode::priceAndDelta);
    const QStringList kept =
        QDir(dir.path()).entryList({QStringLiteral("preferences.json.corrupt-*")});
    EXPECT_EQ(kept.size(), 1);
}
