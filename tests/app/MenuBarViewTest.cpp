#include "AlertTesting.h"
#include "EventLoop.h"
#include "FakeClock.h"
#include "FakePricingProxy.h"
#include "FakeStatusItem.h"
#include "FeedStatusText.h"
#include "LoopbackHttpServer.h"
#include "ManualTimer.h"
#include "MenuBarController.h"
#include "MenuBarView.h"
#include "MetalRow.h"
#include "Pixels.h"
#include "PricingDocuments.h"
#include "Printers.h"
#include "alerts/AlertStore.h"
#include "persistence/PreferencesStore.h"
#include "persistence/VaultStore.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/MetalPricingService.h"

#include <sstream>

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono;
using mintlux::test::waitUntil;
using namespace Qt::StringLiterals;

namespace {

const Instant kMondayNoonNY = sys_days(year(2026) / 12 / 7) + hours(17);
const Instant kSaturdayNoonNY = sys_days(year(2026) / 12 / 5) + hours(17);
const Instant kSnapshotTime = sys_days(year(2026) / 12 / 7) + hours(16) + minutes(12);

// The pricing service over an in-memory back-end on a fake clock, and timers fired by hand.
class MenuBarTest : public ::testing::Test {
protected:
    void poll(Currency c = Currency::usd) { test::await(service->refresh(c)); }
    std::unique_ptr<MenuBarView> makeView() {
        return std::make_unique<MenuBarView>(service, Currency::usd, MetalSeries::gold,
                                             MenuBarCallbacks{}, timers.factory(),
                                             [this] { return clock->now(); });
    }
    test::ManualTimer& timer() { return *timers.timers->front(); }

    std::ostringstream log;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>(kMondayNoonNY);
    std::shared_ptr<test::FakePricingProxy> proxy = std::make_shared<test::FakePricingProxy>();
    std::shared_ptr<MetalPricingService> service =
        std::make_shared<MetalPricingService>(proxy, 60.0, clock, log);
    test::ManualTimerFactory timers;
};

class MenuBarViewTest : public MenuBarTest {
protected:
    MenuBarViewTest() {
        proxy->setLatest(
            Currency::usd,
            {{"XAU", "2345.678", "2317.08"}, {"XAG", "29.456", "30.10"}, {"XPT", "980.5"}},
            kSnapshotTime);
    }

    std::unique_ptr<MenuBarView> view = makeView();
};

TEST_F(MenuBarViewTest, ShownItFillsFromTheCachedSnapshotAndFollowsNewOnes) {
    poll();
    view->show();
    ASSERT_TRUE(waitUntil([&] { return view->lastUpdate().has_value(); }));

    MetalRow* gold = view->row(MetalSeries::gold);
    EXPECT_EQ(gold->priceText(), QStringLiteral("$2,345.68"));
    EXPECT_EQ(gold->changeText(), QStringLiteral("1.23%"));
    EXPECT_FALSE(gold->changeIsNegative());
    MetalRow* silver = view->row(MetalSeries::silver);
    EXPECT_EQ(silver->priceText(), QStringLiteral("$29.46"));
    EXPECT_EQ(silver->changeText(), QStringLiteral("2.14%")) << "magnitude, no minus sign";
    EXPECT_TRUE(silver->changeIsNegative());
    EXPECT_GT(test::countPixels(silver->grab().toImage(), test::isRed), 0) << "a fall is in red";
    EXPECT_GT(test::countPixels(gold->grab().toImage(), test::isGreen), 0) << "a rise in green";
    EXPECT_TRUE(view->row(MetalSeries::platinum)->changeText().isEmpty())
        << "no previous close, no change line";
    EXPECT_EQ(view->row(MetalSeries::palladium)->priceText(), QStringLiteral("\u2014"));

    proxy->setLatest(Currency::usd, {{"XPD", "1012.25", "1000"}}, kSnapshotTime + minutes(1));
    poll();
    ASSERT_TRUE(waitUntil([&] { return view->lastUpdate() == kSnapshotTime + minutes(1); }));
    EXPECT_EQ(view->row(MetalSeries::palladium)->priceText(), QStringLiteral("$1,012.25"));
    EXPECT_EQ(view->row(MetalSeries::gold)->priceText(), QStringLiteral("\u2014"))
        << "each snapshot replaces the previous one whole";
}

// The minute's market check itself is the feed test's, over the weekend.
TEST_F(MenuBarViewTest, DashesUntilASnapshotSubscribedOnlyWhileShownTheMarketRecheckedEachMinute) {
    EXPECT_FALSE(view->isSubscribed());
    view->show();
    EXPECT_TRUE(view->isSubscribed());
    for (const MetalSeries metal : MetalSeries::allCases()) {
        EXPECT_EQ(view->row(metal)->priceText(), QStringLiteral("\u2014"));
        EXPECT_TRUE(view->row(metal)->changeText().isEmpty());
    }
    EXPECT_EQ(view->marketLabel(), QStringLiteral("\u2014"));
    EXPECT_TRUE(view->marketToolTip().isEmpty());

    poll();
    ASSERT_TRUE(waitUntil([&] { return view->lastUpdate().has_value(); }));
    ASSERT_TRUE(timer().isActive());
    EXPECT_EQ(timer().interval, milliseconds(60'000));

    view->hide();
    EXPECT_FALSE(view->isSubscribed());
    EXPECT_FALSE(timer().isActive());
    proxy->setLatest(Currency::usd, {{"XAU", "1.00"}});
    poll();
    test::settle();
    EXPECT_EQ(view->row(MetalSeries::gold)->priceText(), QStringLiteral("$2,345.68"))
        << "a hidden view receives nothing";
}

// The service's own HTTP back-end against a loopback server that answers, marks its prices
// stale, and then goes away; the clock decides how long ago the last good answer was.
class MenuBarViewFeed : public MenuBarTest {};

TEST_F(MenuBarViewFeed, LiveOnlyWhilePricesArriveAndTheFailureIsSaidInWordsToActOn) {
    test::LoopbackHttpServer server;
    service = std::make_shared<MetalPricingService>(
        std::make_shared<HTTPPricingProxyClient>(
            HTTPPricingProxyClient::Configuration{server.baseUrl()}),
        60.0, clock, log);
    const auto view = makeView();
    view->show();
    const QByteArray fresh =
        test::latestDocument("USD", {{"XAU", "2345.5"}}, "2026-12-07T16:12:00Z");
    QByteArray stale = fresh;
    stale.replace("\"stale\":false", "\"stale\":true");
    using Response = test::LoopbackHttpServer::Response;
    const QString address = server.baseUrl().authority();
    const QString updated = u"Last updated "_s + MenuBarView::absoluteTimeString(kSnapshotTime);
    const QString refused =
        u"Can't reach the pricing service at %1 \u2014 is mintlux-pricing running?"_s.arg(address);
    const QString cause =
        u"no prices recorded yet (Swissquote: host not found; gold-api.com: host not found)"_s;
    const QString refusal =
        u"The pricing service at %1 reports an error (HTTP 503): %2"_s.arg(address, cause);
    const QString since = u"\nRefreshing has failed since "_s +
                          MenuBarView::absoluteTimeString(kMondayNoonNY + minutes(3)) + u": "_s;
    const QString failing = since + refused;
    const QString delayed =
        u"Prices delayed since "_s + MenuBarView::absoluteTimeString(kSnapshotTime);
    const QString marked = u"\nThe pricing service marks these prices as stale."_s;

    struct Step {
        const char* name;
        std::optional<Response> answer;  // none: the server is gone
        seconds advance;
        QString label;
        QString toolTip;
        QString note;
    };
    for (const Step& step : {
             Step{"fresh", Response(200, fresh), 0s, "Live", updated, {}},
             Step{"marked stale", Response(200, stale), 60s, "Delayed", delayed + marked, {}},
             Step{"fresh again", Response(200, fresh), 60s, "Live", updated, {}},
             Step{"refused by the service",
                  Response(503, R"({"error":")" + cause.toUtf8() + R"("})"), 60s, "Live",
                  updated + since + refusal, refusal},
             Step{"one failed interval", std::nullopt, 0s, "Live", updated + failing, refused},
             Step{"three intervals since the last answer", std::nullopt, 120s, "Live",
                  updated + failing, refused},
             Step{"four failed intervals", std::nullopt, 60s, "Delayed", delayed + failing,
                  refused},
         }) {
        clock->advance(step.advance);
        if (step.answer) {
            server.route("/v1/prices", *step.answer);
        } else {
            server.close();
        }
        ASSERT_EQ(!test::awaitFailure(service->refresh(Currency::usd)), step.note.isEmpty())
            << step.name;
        ASSERT_TRUE(waitUntil([&] { return view->lastUpdate().has_value(); })) << step.name;
        EXPECT_EQ(view->marketLabel(), step.label) << step.name;
        EXPECT_EQ(view->marketToolTip(), step.toolTip) << step.name;
        EXPECT_EQ(view->noteText(), step.note) << step.name;
    }

    // Over the weekend the market is closed whatever the feed does; the failure is still told.
    clock->set(kSaturdayNoonNY);
    timer().fire(kSaturdayNoonNY);
    EXPECT_EQ(view->marketLabel(), QStringLiteral("Markets closed"));
    EXPECT_EQ(view->marketToolTip(), updated + failing);
}

TEST_F(MenuBarViewTest, PrimaryRowIsHighlightedAndTheOthersOfferThemselves) {
    for (const MetalSeries metal : MetalSeries::allCases()) {
        const MetalRow* row = view->row(metal);
        const bool primary = metal == MetalSeries::gold;
        EXPECT_EQ(row->isPrimary(), primary);
        EXPECT_EQ(row->selectButton()->toolTip(),
                  primary ? QStringLiteral("Currently in menu bar")
                          : QStringLiteral("Show this metal in menu bar"));
    }
}

TEST(MenuBarViewTime, AbsoluteTimeIsMediumDateAndShortTimeInLocaleAndZone) {
    const Instant t = sys_days(year(2026) / 12 / 5) + hours(21) + minutes(12);
    const QString us = MenuBarView::absoluteTimeString(t, QStringLiteral("en-US"),
                                                       QStringLiteral("America/New_York"));
    EXPECT_TRUE(us.startsWith(QStringLiteral("Dec 5, 2026"))) << us.toStdString();
    EXPECT_TRUE(us.contains(QStringLiteral("4:12"))) << "12-hour: " << us.toStdString();
    const QString de = MenuBarView::absoluteTimeString(t, QStringLiteral("de-DE"),
                                                       QStringLiteral("Europe/Berlin"));
    EXPECT_TRUE(de.startsWith(QStringLiteral("05.12.2026"))) << de.toStdString();
    EXPECT_TRUE(de.contains(QStringLiteral("22:12"))) << de.toStdString();
}

// The controller: the item's title, the popup it toggles and the tooltip.
const QString kGoldUp = QStringLiteral("Au $2,346 \u25B21.23%");

class MenuBarControllerTest : public MenuBarTest {
protected:
    MenuBarControllerTest() {
        proxy->setLatest(Currency::usd, {{"XAU", "2345.678", "2317.08"}, {"XAG", "29.456"}});
    }

    void build(MetalSeries primary = MetalSeries::gold,
               DisplayMode mode = DisplayMode::priceAndDelta) {
        auto item = std::make_unique<test::FakeStatusItem>();
        status = item.get();
        MenuBarController::Shell shell{
            std::move(item), std::make_unique<Popover>(Popover::Kind::popup), timers.factory(),
            nullptr, std::make_unique<TitlePublisher>(QDBusConnection(QString()))};
        published = shell.titlePublisher.get();
        MenuBarCallbacks callbacks;
        callbacks.onOpenVault = [this] {
            vaultOpenedWithPopup.push_back(controller->popover().isShown());
        };
        controller =
            std::make_unique<MenuBarController>(service, vault, primary, Currency::usd, mode,
                                                std::move(callbacks), std::move(shell), &alerts);
    }

    bool titleIs(const QString& text) {
        return waitUntil([&] { return status->title().text == text; });
    }

    QTemporaryDir dir;
    PreferencesStore preferences{dir.filePath(QStringLiteral("preferences.json"))};
    VaultStore vault{preferences};
    AlertStore alerts{preferences};
    test::FakeStatusItem* status = nullptr;
    TitlePublisher* published = nullptr;
    std::vector<bool> vaultOpenedWithPopup;
    std::unique_ptr<MenuBarController> controller;
};

TEST_F(MenuBarControllerTest, ShowsThePrimarySymbolAndADashUntilItsFirstPrice) {
    build(MetalSeries::silver);
    EXPECT_TRUE(status->title().runs.isEmpty());
    EXPECT_EQ(published->state(), (title::TitleState{QStringLiteral("Ag \u2014"),
                                                     {{QStringLiteral("Ag \u2014"), u"none"_s}},
                                                     controller->toolTip(),
                                                     u"none"_s,
                                                     u"Ag"_s,
                                                     0}));

    proxy->setLatest(Currency::usd, {{"XAU", "2345.678"}});
    poll();
    test::settle();
    EXPECT_EQ(status->title().text, QStringLiteral("Ag \u2014"))
        << "a snapshot without the primary metal changes nothing";
}

TEST_F(MenuBarControllerTest, RendersEachSnapshotWithTheColouredChange) {
    build();
    poll();
    ASSERT_TRUE(titleIs(kGoldUp));
    ASSERT_EQ(status->title().runs.size(), 1);
    EXPECT_EQ(status->title().runs[0].role, StyledTitle::Role::positive);
    EXPECT_EQ(published->state().segments,
              (title::Segments{{u"Au $2,346"_s, u"none"_s}, {u" \u25B21.23%"_s, u"positive"_s}}));
    EXPECT_EQ(published->state().direction, u"up"_s);
    EXPECT_EQ(published->state().updated, 1'765'000'000'000);

    proxy->setLatest(Currency::usd, {{"XAU", "2300", "2317.08"}});
    poll();
    ASSERT_TRUE(titleIs(QStringLiteral("Au $2,300 \u25BC0.74%")));
    EXPECT_EQ(status->title().runs[0].role, StyledTitle::Role::negative);
    EXPECT_EQ(published->state().text, status->title().text);
    EXPECT_EQ(published->state().direction, u"down"_s);
}

TEST_F(MenuBarControllerTest, SettingsReRenderFromTheHeldSnapshotAtOnce) {
    build();
    poll();
    ASSERT_TRUE(titleIs(kGoldUp));
    QPointer<MenuBarView> popup = controller->view();
    controller->setPrimaryMetal(MetalSeries::gold);
    EXPECT_EQ(controller->view(), popup.data()) << "same metal: nothing to do";

    controller->setPrimaryMetal(MetalSeries::platinum);
    EXPECT_EQ(published->state().symbol, u"Au"_s) << "the title still shows gold";
    controller->setPrimaryMetal(MetalSeries::silver);
    vault.setEntry({Decimal(2), MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::silver);
    controller->setDisplayMode(DisplayMode::vaultValue);
    EXPECT_EQ(status->title().text, QStringLiteral("Ag $58.91"));
    EXPECT_EQ(published->state().symbol, u"Ag"_s);
    vault.setEntry({Decimal(10), MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::silver);
    controller->refresh();
    EXPECT_EQ(status->title().text, QStringLiteral("Ag $295"))
        << "the holding is read afresh on every render";
}

// Until the new currency's first snapshot the title keeps the old one, and the item's tooltip
// tells its time and the new currency's failure.
TEST_F(MenuBarControllerTest, CurrencyChangeResubscribesKeepingTheOldTitleAndTellingTheFailure) {
    build();
    QSignalSpy changed(controller.get(), &MenuBarController::toolTipChanged);
    poll();
    ASSERT_TRUE(titleIs(kGoldUp));
    const QString updated =
        QStringLiteral("Last updated ") +
        FeedStatusText::shortTimeString(Instant(seconds(1'765'000'000)), system_clock::now());
    EXPECT_EQ(status->toolTipText(), updated);

    controller->setCurrency(Currency::gbp);
    controller->setDisplayMode(DisplayMode::priceOnly);
    EXPECT_EQ(status->title().text, QStringLiteral("Au $2,346")) << "old prices, old currency";
    ASSERT_TRUE(test::awaitFailure(service->refresh(Currency::gbp)));  // no answer in pounds yet
    EXPECT_EQ(status->toolTipText(), controller->toolTip());
    EXPECT_TRUE(status->toolTipText().startsWith(updated + u"\nRefreshing has failed since "_s));
    EXPECT_TRUE(status->toolTipText().endsWith(QStringLiteral(": no answer configured")));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed.last().first().toString(), status->toolTipText());
    EXPECT_EQ(published->state().tooltip, status->toolTipText()) << "panels get it too";

    proxy->setLatest(Currency::usd, {{"XAU", "1.00"}});
    poll(Currency::usd);
    test::settle();
    EXPECT_EQ(status->title().text, QStringLiteral("Au $2,346")) << "the USD stream is gone";
    proxy->setLatest(Currency::gbp, {{"XAU", "1850.4"}});
    poll(Currency::gbp);
    EXPECT_TRUE(titleIs(QStringLiteral("Au \u00A31,850")));
}

// Panels read the whole item again on every announced tooltip change, so the time moving on is
// kept for the next reader but not announced; a failure and its end are.
TEST_F(MenuBarControllerTest, OnlyAChangeOfMeaningIsAnnouncedNotTheMinute) {
    build();
    QSignalSpy changed(controller.get(), &MenuBarController::toolTipChanged);
    const Instant first(seconds(1'765'000'000));
    poll();
    ASSERT_TRUE(titleIs(kGoldUp));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(status->announced, 1);

    proxy->setLatest(Currency::usd, {{"XAU", "2345.678", "2317.08"}}, first + minutes(1));
    poll();
    const QString later = u"Last updated "_s +
                          FeedStatusText::shortTimeString(first + minutes(1), system_clock::now());
    ASSERT_TRUE(waitUntil([&] { return status->toolTipText() == later; }));
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(status->announced, 1) << "a minute passing is no news";
    EXPECT_NE(published->state().tooltip, later);

    proxy->failLatest(Currency::usd);
    ASSERT_TRUE(test::awaitFailure(service->refresh(Currency::usd)));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(status->announced, 2);
    EXPECT_TRUE(status->toolTipText().startsWith(later + u"\nRefreshing has failed since "_s));
    EXPECT_EQ(published->state().tooltip, status->toolTipText());

    proxy->setLatest(Currency::usd, {{"XAU", "2345.678", "2317.08"}}, first + minutes(2));
    poll();
    EXPECT_EQ(changed.size(), 3) << "the failure's end is news";
    EXPECT_EQ(status->announced, 3);
}

TEST_F(MenuBarControllerTest, ClickingTheItemTogglesThePopupAndItsSubscription) {
    build();
    status->anchor = QRect(900, 0, 80, 24);
    status->click(QPoint(940, 12));
    ASSERT_TRUE(controller->popover().isShown());
    EXPECT_TRUE(controller->view()->isSubscribed());

    status->click(QPoint(940, 12));
    EXPECT_FALSE(controller->popover().isShown());
    EXPECT_FALSE(controller->view()->isSubscribed());

    status->chooseShowPrices();
    EXPECT_TRUE(controller->popover().isShown());
    // Return presses a popup button, and the popup is gone before the window opens.
    QTest::keyClick(controller->view()->vaultButton(), Qt::Key_Return);
    EXPECT_EQ(vaultOpenedWithPopup, std::vector<bool>{false});
}

}  // namespace

namespace {

// The bell rings for rules that can still fire: enabled, and not a once-only rule that fired.
TEST_F(MenuBarControllerTest, TheBellListsTheMetalsAlertsThatCanStillFire) {
    const auto rule = [](const char* id, MetalSeries metal, AlertCondition condition,
                         const char* level, bool enabled, bool repeating, bool fired) {
        AlertRule r =
            test::alertRule(QString::fromLatin1(id), metal, condition, *Decimal::parse(level));
        r.enabled = enabled;
        r.repeating = repeating;
        r.lastFired = fired ? std::optional<Instant>(kSnapshotTime) : std::nullopt;
        return r;
    };
    alerts.setRules(
        {rule("a", MetalSeries::gold, AlertCondition::above, "2400", true, false, false),
         rule("b", MetalSeries::gold, AlertCondition::downBy, "3", true, true, true),
         rule("c", MetalSeries::silver, AlertCondition::below, "20", false, true, false),
         rule("d", MetalSeries::platinum, AlertCondition::above, "900", true, false, true)});
    build();
    const MetalRow* gold = controller->view()->row(MetalSeries::gold);
    EXPECT_EQ(gold->alertsText(),
              u"Alert: above $2,400.00 per troy ounce\n"
              u"Alert: down by 3.00% today"_s);
    EXPECT_EQ(gold->selectButton()->accessibleDescription(),
              u"Alert: above $2,400.00 per troy ounce; Alert: down by 3.00% today"_s);
    for (const MetalSeries metal :
         {MetalSeries::silver, MetalSeries::platinum, MetalSeries::palladium}) {
        EXPECT_EQ(controller->view()->row(metal)->alertsText(), QString())
            << metal.rawValue().toStdString();
        EXPECT_EQ(controller->view()->row(metal)->selectButton()->accessibleDescription(),
                  QString());
    }
    alerts.remove(QStringLiteral("a"));
    alerts.remove(QStringLiteral("b"));
    controller->refresh();
    EXPECT_EQ(controller->view()->row(MetalSeries::gold)->alertsText(), QString());
}

}  // namespace
