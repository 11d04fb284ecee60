#include "AppDelegate.h"
#include "ChartWindowController.h"
#include "EventLoop.h"
#include "FakeLoginItem.h"
#include "FakePricingProxy.h"
#include "FakeStatusItem.h"
#include "FakeWindowActivator.h"
#include "ManualTimer.h"
#include "MetalRow.h"
#include "Printers.h"
#include "SettingsWindowController.h"
#include "VaultView.h"
#include "VaultWindowController.h"
#include "persistence/SettingsKey.h"
#include "pricing/Futures.h"
#include "pricing/MetalPricingService.h"

#include <QAbstractButton>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::settle;
using mintlux::test::waitUntil;

namespace {

// Answers every history request at once with one point, counting the requests per currency.
class HistoryCountingProxy : public test::FakePricingProxy {
public:
    QFuture<HistoryResponse> fetchHistory(MetalSeries, TimeRange, Currency currency,
                                          MetalUnit) override {
        ++histories[currency];
        HistoryResponse response;
        response.points = {{Instant(std::chrono::seconds(1'765'000'000)), Decimal(2300)}};
        return Futures::ready(std::move(response));
    }

    std::unordered_map<Currency, int> histories;
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
        env.windowActivator = &activator;
        env.loginItem = &loginItem;
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
    std::shared_ptr<HistoryCountingProxy> proxy = std::make_shared<HistoryCountingProxy>();
    test::ManualTimerFactory timers;
    test::FakeWindowActivator activator;
    test::FakeLoginItem loginItem;
    test::FakeStatusItem* status = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace

TEST_F(AppDelegateTest, LaunchFollowsTheStoredSettings) {
    preferences->set(QStringLiteral("XAG"), SettingsKey::primaryMetal);
    preferences->set(QStringLiteral("EUR"), SettingsKey::displayCurrency);
    preferences->set(QStringLiteral("priceOnly"), SettingsKey::displayMode);
    preferences->set(15, SettingsKey::refreshIntervalSec);
    launch();
    EXPECT_EQ(status->title().text, QStringLiteral("Ag \u2014"));
    EXPECT_TRUE(proxy->fetches.empty()) << "the service starts in a later turn";
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

// A notification that changes nothing the service uses still rebuilds the popup (writeAndSettle
// waits for that) and leaves the poll loop alone.
TEST_F(AppDelegateTest, SettingsChangesReachServiceAndControllerAndOnlyTheirs) {
    launch();
    ASSERT_TRUE(waitUntil([&] { return status->title().text.contains(QLatin1Char('$')); }));
    const int fetches = proxy->fetches[Currency::usd];
    writeAndSettle(QStringLiteral("unrelated"), QStringLiteral("mintlux.somethingElse"));
    writeAndSettle(true, SettingsKey::launchAtLogin);
    EXPECT_TRUE(delegate->lastSnapshot()->launchAtLogin());
    EXPECT_EQ(proxy->fetches[Currency::usd], fetches) << "the poll loop was not restarted";

    writeAndSettle(30, SettingsKey::refreshIntervalSec);
    EXPECT_EQ(delegate->pricingService()->refreshInterval(), 30.0);

    writeAndSettle(QStringLiteral("EUR"), SettingsKey::displayCurrency);
    EXPECT_EQ(delegate->pricingService()->currentCurrency(), Currency::eur);
    EXPECT_EQ(view()->currency(), Currency::eur);
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
    EXPECT_TRUE(view()->row(MetalSeries::silver)->isPrimary());
    EXPECT_TRUE(waitUntil([&] { return before.isNull(); })) << "the old popup view is gone";
}

TEST_F(AppDelegateTest, WindowButtonsOpenInTheLastAppliedCurrency) {
    launch();
    writeAndSettle(QStringLiteral("GBP"), SettingsKey::displayCurrency);
    // Written but not yet applied: the windows still open in the applied currency.
    preferences->set(QStringLiteral("EUR"), SettingsKey::displayCurrency);
    view()->row(MetalSeries::platinum)->chartButton()->click();
    ChartWindowController* chart = delegate->chartController();
    ASSERT_NE(chart->view(), nullptr);
    EXPECT_EQ(chart->view()->currency(), Currency::gbp);
    EXPECT_EQ(chart->view()->metal(), MetalSeries::platinum);
    view()->vaultButton()->click();
    VaultWindowController* vault = delegate->vaultController();
    ASSERT_NE(vault->view(), nullptr);
    EXPECT_EQ(vault->view()->currency(), Currency::gbp);

    settle();
    view()->vaultButton()->click();
    EXPECT_EQ(vault->view()->currency(), Currency::eur);
}

TEST_F(AppDelegateTest, AChangeOfDisplayCurrencyEmptiesTheChartCache) {
    launch();
    const auto openGoldChart = [&] {
        view()->row(MetalSeries::gold)->chartButton()->click();
        // The activator double shows nothing; the chart loads when it is shown.
        delegate->chartController()->window()->show();
        PriceChartView* chart = delegate->chartController()->view();
        ASSERT_TRUE(waitUntil([&] { return !chart->isLoading() && !chart->points().empty(); }));
    };
    openGoldChart();
    openGoldChart();
    EXPECT_EQ(proxy->histories[Currency::usd], 1) << "served from the cache";

    writeAndSettle(QStringLiteral("GBP"), SettingsKey::displayCurrency);
    writeAndSettle(QStringLiteral("USD"), SettingsKey::displayCurrency);
    openGoldChart();
    EXPECT_EQ(proxy->histories[Currency::usd], 2) << "the dollar history was asked for again";
}

TEST_F(AppDelegateTest, ShutdownReleasesEverything) {
    launch();
    QPointer<MetalPricingService> service = delegate->pricingService();
    view()->vaultButton()->click();
    QPointer<QWidget> vaultWindow = delegate->vaultController()->window();
    view()->row(MetalSeries::gold)->chartButton()->click();
    QPointer<QWidget> chartWindow = delegate->chartController()->window();
    delegate->applicationWillTerminate();
    EXPECT_EQ(delegate->menuBarController(), nullptr);
    EXPECT_EQ(delegate->settingsController(), nullptr);
    EXPECT_TRUE(vaultWindow.isNull());
    EXPECT_TRUE(chartWindow.isNull());
    EXPECT_TRUE(service.isNull());

    preferences->set(QStringLiteral("XPT"), SettingsKey::primaryMetal);
    settle();
    EXPECT_EQ(delegate->lastSnapshot()->primaryMetal(), MetalSeries::gold)
        << "no handler runs after termination";
}
