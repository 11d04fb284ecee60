#include "EventLoop.h"
#include "FakePricingProxy.h"
#include "FakeStatusItem.h"
#include "ManualTimer.h"
#include "MenuBarController.h"
#include "MetalRow.h"
#include "Printers.h"
#include "persistence/PreferencesStore.h"
#include "persistence/VaultStore.h"
#include "pricing/MetalPricingService.h"

#include <sstream>

#include <QAbstractButton>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::waitUntil;
using namespace Qt::StringLiterals;

namespace {

const QString kUp = QStringLiteral(" \u25B2");

class MenuBarControllerTest : public ::testing::Test {
protected:
    MenuBarControllerTest() {
        proxy->setLatest(Currency::usd, {{"XAU", "2345.678", "2317.08"}, {"XAG", "29.456"}});
        proxy->setLatest(Currency::eur, {{"XAU", "2150.5", "2150"}});
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
        callbacks.onQuit = [this] { ++quits; };
        callbacks.onOpenVault = [this] {
            vaultOpenedWithPopup.push_back(controller->popover().isShown());
        };
        controller = std::make_unique<MenuBarController>(
            service, vault, primary, Currency::usd, mode, std::move(callbacks), std::move(shell));
    }

    void poll(Currency c = Currency::usd) { test::await(service->refresh(c)); }
    bool titleIs(const QString& text) {
        return waitUntil([&] { return status->title().text == text; });
    }

    QTemporaryDir dir;
    PreferencesStore preferences{dir.filePath(QStringLiteral("preferences.json"))};
    VaultStore vault{preferences};
    std::ostringstream log;
    std::shared_ptr<test::FakePricingProxy> proxy = std::make_shared<test::FakePricingProxy>();
    std::shared_ptr<MetalPricingService> service =
        std::make_shared<MetalPricingService>(proxy, 60.0, nullptr, log);
    test::ManualTimerFactory timers;
    test::FakeStatusItem* status = nullptr;
    TitlePublisher* published = nullptr;
    int quits = 0;
    std::vector<bool> vaultOpenedWithPopup;
    std::unique_ptr<MenuBarController> controller;
};

}  // namespace

TEST_F(MenuBarControllerTest, ShowsThePrimarySymbolAndADashUntilItsFirstPrice) {
    build(MetalSeries::silver);
    EXPECT_EQ(status->title().text, QStringLiteral("Ag \u2014"));
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
    ASSERT_TRUE(titleIs(QStringLiteral("Au $2,346") + kUp + QStringLiteral("1.23%")));
    ASSERT_EQ(status->title().runs.size(), 1);
    EXPECT_EQ(status->title().runs[0].role, StyledTitle::Role::positive);
    EXPECT_EQ(status->title().runs[0].start, 9);
    EXPECT_EQ(published->state().segments,
              (title::Segments{{u"Au $2,346"_s, u"none"_s}, {kUp + u"1.23%"_s, u"positive"_s}}));
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
    ASSERT_TRUE(titleIs(QStringLiteral("Au $2,346") + kUp + QStringLiteral("1.23%")));

    controller->setDisplayMode(DisplayMode::priceOnly);
    EXPECT_EQ(status->title().text, QStringLiteral("Au $2,346"));
    controller->setPrimaryMetal(MetalSeries::platinum);
    EXPECT_EQ(published->state().symbol, u"Au"_s) << "the title still shows gold";
    controller->setPrimaryMetal(MetalSeries::silver);
    EXPECT_EQ(status->title().text, QStringLiteral("Ag $29.46"));
    EXPECT_EQ(published->state().text, status->title().text);
    EXPECT_EQ(published->state().symbol, u"Ag"_s);

    vault.setEntry({Decimal(2), MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::silver);
    controller->setDisplayMode(DisplayMode::vaultValue);
    EXPECT_EQ(status->title().text, QStringLiteral("Ag $58.91"));
    vault.setEntry({Decimal(10), MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::silver);
    controller->refresh();
    EXPECT_EQ(status->title().text, QStringLiteral("Ag $295"))
        << "the holding is read afresh on every render";
}

TEST_F(MenuBarControllerTest, CurrencyChangeResubscribesAndKeepsTheOldTitleMeanwhile) {
    build();
    poll();
    ASSERT_TRUE(titleIs(QStringLiteral("Au $2,346") + kUp + QStringLiteral("1.23%")));

    controller->setCurrency(Currency::eur);
    EXPECT_EQ(controller->view()->currency(), Currency::eur);
    controller->setDisplayMode(DisplayMode::priceOnly);
    EXPECT_EQ(status->title().text, QStringLiteral("Au $2,346")) << "old prices, old currency";

    proxy->setLatest(Currency::usd, {{"XAU", "1.00"}});
    poll(Currency::usd);
    test::settle();
    EXPECT_EQ(status->title().text, QStringLiteral("Au $2,346")) << "the USD stream is gone";

    poll(Currency::eur);
    EXPECT_TRUE(titleIs(QStringLiteral("Au \u20AC2,150")));
}

TEST_F(MenuBarControllerTest, EveryRebuildReplacesThePopupContent) {
    build();
    QPointer<MenuBarView> first = controller->view();
    controller->setPrimaryMetal(MetalSeries::gold);
    EXPECT_EQ(controller->view(), first.data()) << "same metal: nothing to do";

    controller->setPrimaryMetal(MetalSeries::platinum);
    EXPECT_NE(controller->view(), first.data());
    EXPECT_TRUE(controller->view()->row(MetalSeries::platinum)->isPrimary());
    QPointer<MenuBarView> second = controller->view();
    controller->refresh();
    EXPECT_NE(controller->view(), second.data());
    EXPECT_TRUE(waitUntil([&] { return first.isNull() && second.isNull(); }))
        << "replaced views are destroyed";
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
    status->chooseQuit();
    EXPECT_EQ(quits, 1);
}

TEST_F(MenuBarControllerTest, TheItemsToolTipTellsTheLastUpdateAndTheLastFailure) {
    build();
    QSignalSpy changed(controller.get(), &MenuBarController::toolTipChanged);
    poll();
    ASSERT_TRUE(waitUntil([&] { return !status->toolTipText().isEmpty(); }));
    EXPECT_EQ(status->toolTipText(),
              QStringLiteral("Last updated ") +
                  MenuBarView::absoluteTimeString(Instant(std::chrono::seconds(1'765'000'000))));

    controller->setCurrency(Currency::gbp);  // the fake has no answer in pounds
    ASSERT_TRUE(test::awaitFailure(service->refresh(Currency::gbp)));
    EXPECT_EQ(status->toolTipText(), controller->toolTip());
    // The title still shows the dollar snapshot, so its time stays.
    EXPECT_TRUE(status->toolTipText().contains(QStringLiteral("\nRefreshing has failed since ")));
    EXPECT_TRUE(status->toolTipText().endsWith(QStringLiteral(": no answer configured")));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed.last().first().toString(), status->toolTipText());
    EXPECT_EQ(published->state().tooltip, status->toolTipText()) << "panels get it too";
}
