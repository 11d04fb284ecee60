#include "AppDelegate.h"
#include "ChartModule.h"
#include "ChartWindowController.h"
#include "EventLoop.h"
#include "FakeLoginItem.h"
#include "FakePricingProxy.h"
#include "FakeStatusItem.h"
#include "FakeWindowActivator.h"
#include "HostConnection.h"
#include "ManualTimer.h"
#include "MetalRow.h"
#include "PriceChartView.h"
#include "Printers.h"
#include "SettingsView.h"
#include "SettingsWindowController.h"
#include "VaultMetalCard.h"
#include "VaultView.h"
#include "VaultWindowController.h"
#include "persistence/SettingsKey.h"
#include "persistence/VaultStore.h"
#include "pricing/Futures.h"
#include "pricing/MetalPricingService.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::settle;
using mintlux::test::waitUntil;
using namespace Qt::StringLiterals;

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
        if (publishTitle) {
            env.makeTitlePublisher = [] {
                return std::make_unique<TitlePublisher>(QDBusConnection::sessionBus());
            };
        }
        env.timers = timers.factory();
        env.windowActivator = &activator;
        env.loginItem = &loginItem;
        env.makeChartView = makeChartView;
        env.chartModuleDirs = chartModuleDirs;
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
    bool publishTitle = false;
    ChartViewFactory makeChartView = PriceChartView::factory();
    QStringList chartModuleDirs;
    std::unique_ptr<AppDelegate> delegate;
};

// Everything a widget and its children show or tell assistive technology.
QStringList textsOf(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    QStringList texts;
    for (QWidget* w : widgets) {
        texts << w->toolTip() << w->accessibleName() << w->accessibleDescription()
              << w->windowTitle();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            texts << label->text();
        }
        if (auto* field = qobject_cast<QLineEdit*>(w)) {
            texts << field->text() << field->placeholderText();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            texts << button->text();
        }
        if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w)) {
            for (const auto kind : {QAccessible::Name, QAccessible::Description, QAccessible::Value,
                                    QAccessible::Help}) {
                texts << a->text(kind);
            }
        }
    }
    return texts;
}

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
    auto* chart = qobject_cast<PriceChartView*>(delegate->chartController()->view());
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->currency(), Currency::gbp);
    EXPECT_EQ(chart->metal(), MetalSeries::platinum);
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
        auto* chart = qobject_cast<PriceChartView*>(delegate->chartController()->view());
        ASSERT_NE(chart, nullptr);
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

// The app's own charts come from the module; where it cannot be loaded, the window opens all the
// same and says why.
TEST_F(AppDelegateTest, AChartModuleThatCannotBeLoadedIsSaidInTheWindow) {
    QTemporaryDir empty;
    QTemporaryDir broken;
    const QString brokenModule = broken.filePath(chartModule::fileName());
    QFile file(brokenModule);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a shared object");
    file.close();
    const struct {
        QString dir;
        QString says;
    } cases[] = {
        {empty.path(), chartModule::fileName() + u" is in none of "_s},
        {broken.path(), brokenModule},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir.toStdString());
        makeChartView = nullptr;
        chartModuleDirs = {c.dir};
        launch();
        view()->row(MetalSeries::gold)->chartButton()->click();
        auto* notice = qobject_cast<QLabel*>(delegate->chartController()->view());
        ASSERT_NE(notice, nullptr);
        EXPECT_TRUE(notice->text().startsWith(u"The price chart could not be loaded."_s));
        EXPECT_TRUE(notice->text().contains(c.says)) << notice->text().toStdString();
        EXPECT_TRUE(notice->text().contains(c.dir)) << "the notice names where it looked";
        EXPECT_EQ(delegate->chartController()->window()->windowTitle(),
                  u"Gold \u2014 Price Chart"_s);
    }
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

// 12.345 oz of 24K gold at $2,345.678 is worth $28,954.499...: every form its quantity or worth
// could take must be absent while discreet, from every window, the item and the bus.
TEST_F(AppDelegateTest, DiscreetModeMasksEveryHoldingAndEachOfItsTogglesWritesTheKey) {
    VaultStore(*preferences)
        .setEntry({*Decimal::parse("12.345"), MetalUnit::troyOunce, KaratGrade::k24},
                  MetalSeries::gold);
    preferences->set(QStringLiteral("vaultValueAndDelta"), SettingsKey::displayMode);
    preferences->set(true, SettingsKey::discreetMode);
    publishTitle = true;
    launch();
    ASSERT_TRUE(waitUntil([&] { return status->title().text.contains(QChar(0x25B2)); }));
    view()->vaultButton()->click();
    delegate->vaultController()->window()->show();
    VaultView* vault = delegate->vaultController()->view();
    ASSERT_TRUE(waitUntil([&] { return vault->totalValue() > Decimal(0); }));
    delegate->settingsController()->show();
    SettingsView* settings = delegate->settingsController()->view();

    const QStringList digits{u"12.345"_s, u"12,345"_s, u"12345"_s,  u"28,954"_s,
                             u"28.954"_s, u"28954"_s,  u"28,955"_s, u"28955"_s};
    test::HostConnection host;
    const auto onBus = [&](const QString& name) {
        return host
            .property(QString::fromLatin1(title::kService), QString::fromLatin1(title::kPath),
                      QString::fromLatin1(title::kInterface), name)
            .toString();
    };
    const auto shownDigits = [&] {
        QStringList texts = textsOf(view()) + textsOf(delegate->vaultController()->window()) +
                            textsOf(delegate->settingsController()->window());
        texts << status->title().text << status->toolTipText() << onBus(u"Text"_s)
              << onBus(u"Tooltip"_s);
        const QString all = texts.join(u'\n');
        QStringList found;
        for (const QString& d : digits) {
            if (all.contains(d)) {
                found << d;
            }
        }
        return found;
    };
    const auto applied = [&](bool on) {
        EXPECT_EQ(preferences->object(SettingsKey::discreetMode), PreferenceValue(on));
        ASSERT_TRUE(waitUntil([&] { return delegate->menuBarController()->isDiscreet() == on; }));
        settle();
        EXPECT_EQ(status->isDiscreetChecked(), on);
        EXPECT_EQ(view()->discreetButton()->isChecked(), on);
        EXPECT_EQ(settings->discreetSwitch()->isChecked(), on);
        EXPECT_EQ(vault->card(MetalSeries::gold)->quantityField()->isReadOnly(), on);
    };

    const QString masked = u"Au $\u2022\u2022\u2022\u2022\u2022 \u25B21.23%"_s;
    EXPECT_EQ(status->title().text, masked);
    EXPECT_EQ(onBus(u"Text"_s), masked);
    EXPECT_EQ(vault->totalText(), u"$\u2022\u2022\u2022\u2022\u2022"_s);
    EXPECT_EQ(shownDigits(), QStringList());

    view()->discreetButton()->click();
    applied(false);
    EXPECT_EQ(status->title().text, u"Au $28,954 \u25B21.23%"_s);
    EXPECT_EQ(onBus(u"Text"_s), status->title().text);
    EXPECT_EQ(vault->card(MetalSeries::gold)->quantityField()->text(), u"12.345"_s);
    EXPECT_EQ(vault->totalText(), u"$28,954.50"_s);
    EXPECT_EQ(shownDigits(), (QStringList{u"12.345"_s, u"28,954"_s}));

    status->chooseDiscreet();
    applied(true);
    EXPECT_EQ(shownDigits(), QStringList());
    EXPECT_EQ(status->title().text, masked);

    settings->discreetSwitch()->click();
    applied(false);
    EXPECT_EQ(vault->card(MetalSeries::gold)->worthText(), u"$28,954.50"_s);
}
