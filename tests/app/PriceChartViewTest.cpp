#include "ChartAxes.h"
#include "ChartWindowController.h"
#include "EventLoop.h"
#include "FakeClock.h"
#include "FakePricingProxy.h"
#include "FakeWindowActivator.h"
#include "LoopbackHttpServer.h"
#include "PriceChartView.h"
#include "PricingDocuments.h"
#include "Printers.h"
#include "SegmentedChooser.h"
#include "platform/TitleRenderer.h"
#include "pricing/ChartingDataSource.h"
#include "pricing/HTTPPricingProxyClient.h"
#include "pricing/HybridPricingProxyClient.h"
#include "pricing/MetalPricingService.h"
#include "pricing/MockPricingProxyClient.h"

#include <cmath>
#include <limits>
#include <sstream>

#include <QAbstractButton>
#include <QChartView>
#include <QTest>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono;
using mintlux::test::waitUntil;

namespace {

const Instant kStart = sys_days(year(2026) / 11 / 1) + hours(9);

// Latest prices answered at once; every history request waits until the test answers it, so
// tests decide the order in which loads land.
class HistoryProxy : public test::FakePricingProxy {
public:
    struct Request {
        TimeRange range;
        MetalUnit unit;
        std::shared_ptr<QPromise<HistoryResponse>> promise;
    };

    QFuture<HistoryResponse> fetchHistory(MetalSeries, TimeRange range, Currency,
                                          MetalUnit unit) override {
        requests.push_back({range, unit, Futures::startedPromise<HistoryResponse>()});
        return requests.back().promise->future();
    }

    // One point a day from kStart.
    void answer(std::size_t request, std::initializer_list<const char*> values) {
        HistoryResponse response;
        int day = 0;
        for (const char* v : values) {
            response.points.push_back({kStart + days(day++), *Decimal::parse(std::string_view(v))});
        }
        Futures::fulfil(*requests.at(request).promise, std::move(response));
    }
    void fail(std::size_t request, const char* message) {
        Futures::fail(*requests.at(request).promise,
                      std::make_exception_ptr(std::runtime_error(message)));
    }

    std::vector<Request> requests;
};

class PriceChartTest : public ::testing::Test {
protected:
    PriceChartTest() { proxy->setLatest(Currency::usd, {{"XAU", "2000", "1990"}}); }

    std::unique_ptr<PriceChartView> shownView() {
        auto view =
            std::make_unique<PriceChartView>(MetalSeries::gold, Currency::usd, dataSource, service);
        view->resize(700, 480);
        view->show();
        return view;
    }
    void poll() { test::await(service->refresh(Currency::usd)); }
    bool settled(const PriceChartView& view) {
        return waitUntil([&] { return !view.isLoading(); });
    }

    std::ostringstream log;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>(kStart);
    std::shared_ptr<HistoryProxy> proxy = std::make_shared<HistoryProxy>();
    std::shared_ptr<MetalPricingService> service =
        std::make_shared<MetalPricingService>(proxy, 60.0, clock, log);
    std::shared_ptr<ChartingDataSource> dataSource =
        std::make_shared<ChartingDataSource>(service, 60.0, clock);
};

}  // namespace

TEST(ChartAxes, YDomainPadsFivePercentWithAHalfUnitFloor) {
    struct Case {
        const char* name;
        std::vector<const char*> values;
        ChartAxes::Domain expected;
    };
    for (const Case& c : {
             Case{"empty", {}, {0, 1}},
             Case{"flat at 50", {"50", "50", "50"}, {49.5, 50.5}},
             Case{"10 to 30: 5 % of 20", {"20", "10", "30"}, {9, 31}},
             Case{"10 to 15: the floor", {"10", "15"}, {9.5, 15.5}},
         }) {
        std::vector<MetalPricePoint> points;
        for (const char* v : c.values) {
            points.emplace_back(kStart, *Decimal::parse(std::string_view(v)), MetalUnit::gram);
        }
        const ChartAxes::Domain domain = ChartAxes::yDomain(points);
        EXPECT_DOUBLE_EQ(domain.lo, c.expected.lo) << c.name;
        EXPECT_DOUBLE_EQ(domain.hi, c.expected.hi) << c.name;
    }
}

TEST(ChartAxes, YLabelsAreMoneyWithDecimalsOnlyBelowAHundred) {
    struct Case {
        double value;
        Currency currency;
        const char* locale;
        QString expected;
    };
    for (const Case& c : {
             Case{99.5, Currency::usd, "en_US", QStringLiteral("$99.50")},
             Case{100, Currency::usd, "en_US", QStringLiteral("$100")},
             Case{2345.5, Currency::usd, "en_US", QStringLiteral("$2,346")},
             Case{12.25, Currency::eur, "de_DE", QStringLiteral("12,25\u00A0€")},
             Case{std::nan(""), Currency::usd, "en_US", QString()},
         }) {
        EXPECT_EQ(ChartAxes::formatYAxis(c.value, c.currency, QString::fromLatin1(c.locale)),
                  c.expected)
            << c.value;
    }
}

TEST(ChartAxes, TicksAreRoundDistinctAndAligned) {
    const auto labels = [](const std::vector<ChartAxes::Tick>& ticks) {
        QStringList all;
        for (const auto& t : ticks) {
            all << t.label;
        }
        return all;
    };
    EXPECT_EQ(labels(ChartAxes::valueTicks({9, 31}, 6, Currency::usd, "en_US")),
              QStringList({"$10.00", "$15.00", "$20.00", "$25.00", "$30.00"}));
    // A flat series above 100 would repeat "$2,000" at every fifth of a dollar.
    EXPECT_EQ(labels(ChartAxes::valueTicks({1999.5, 2000.5}, 6, Currency::usd, "en_US")),
              QStringList({"$2,000"}));

    // A month from a Sunday morning: the weeks' starts after it, Sunday in the US and Monday in
    // Germany (UTC, as the test main sets).
    EXPECT_EQ(labels(ChartAxes::dateTicks(kStart, kStart + days(30), 5, "en_US")),
              QStringList({"Nov 8", "Nov 15", "Nov 22", "Nov 29"}));
    EXPECT_EQ(labels(ChartAxes::dateTicks(kStart, kStart + days(30), 5, "de_DE")),
              QStringList({"2. Nov.", "9. Nov.", "16. Nov.", "23. Nov.", "30. Nov."}));
    EXPECT_EQ(labels(ChartAxes::dateTicks(kStart, kStart + hours(24), 5, "en_US")),
              QStringList({"12:00\u202FPM", "6:00\u202FPM", "12:00\u202FAM", "6:00\u202FAM"}));
}

TEST_F(PriceChartTest, HeaderShowsTheLivePriceInTheChosenUnitAndAFlatChangeAsAGreenRise) {
    auto view = shownView();
    const auto colours = [&] {
        const QPalette p = view->palette();
        return TitleColors::forBackground(p.color(QPalette::Window), p.color(QPalette::WindowText));
    };
    EXPECT_EQ(view->titleText(), QStringLiteral("Gold (Au)"));
    EXPECT_EQ(view->subtitleText(), QStringLiteral("per troy ounce, USD"));
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::loading);
    EXPECT_TRUE(view->headerSpinnerShown()) << "no live price yet, history loading";

    poll();
    ASSERT_TRUE(waitUntil([&] { return !view->priceText().isEmpty(); }));
    EXPECT_EQ(view->priceText(), QStringLiteral("$2,000.00"));
    EXPECT_EQ(view->changeText(), QString()) << "no history yet";

    ASSERT_EQ(proxy->requests.size(), 1U);
    EXPECT_EQ(proxy->requests[0].range, TimeRange::oneMonth);
    EXPECT_EQ(proxy->requests[0].unit, MetalUnit::troyOunce);
    proxy->answer(0, {"2000", "2100", "1900"});
    ASSERT_TRUE(settled(*view));
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::chart);
    EXPECT_EQ(view->changeText(), QStringLiteral("\u25B2 0.00% over 1M"));
    EXPECT_EQ(view->changeColor(), colours().positive);

    // Per gram, against the gram history's first point; the keyboard picks the unit.
    view->unitChooser()->setFocus();
    QTest::keyClick(view->unitChooser(), Qt::Key_Right);
    EXPECT_EQ(view->unit(), MetalUnit::gram);
    EXPECT_EQ(view->subtitleText(), QStringLiteral("per gram, USD"));
    EXPECT_EQ(view->priceText(), QStringLiteral("$64.30"));
    EXPECT_EQ(view->changeText(), QString()) << "the ounce history is no base for a gram price";
    ASSERT_EQ(proxy->requests.size(), 2U);
    EXPECT_EQ(proxy->requests[1].unit, MetalUnit::gram);
    proxy->answer(1, {"65", "66"});
    ASSERT_TRUE(settled(*view));
    EXPECT_EQ(view->changeText(), QStringLiteral("\u25BC 1.07% over 1M"));
    EXPECT_EQ(view->changeColor(), colours().negative);
}

TEST_F(PriceChartTest, AFailedLoadReplacesTheChartAndTheNextLoadClearsIt) {
    auto view = shownView();
    proxy->answer(0, {"2000", "2010"});
    ASSERT_TRUE(settled(*view));

    QTest::mouseClick(view->rangeChooser(), Qt::LeftButton, {},
                      view->rangeChooser()->segmentRect(4).center());  // 1Y
    proxy->fail(1, "history server unreachable");
    ASSERT_TRUE(settled(*view));
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::error);
    EXPECT_EQ(view->errorText(), QStringLiteral("history server unreachable"));
    EXPECT_FALSE(view->chartView()->isVisible());

    view->setRange(TimeRange::oneMonth);  // cached: no request
    EXPECT_EQ(view->loadError(), std::nullopt) << "cleared as the load starts";
    ASSERT_TRUE(settled(*view));
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::chart);
    EXPECT_TRUE(view->chartView()->isVisible());
    EXPECT_EQ(proxy->requests.size(), 2U);
}

TEST_F(PriceChartTest, OnlyTheNewestSelectionsAnswerLands) {
    auto view = shownView();
    view->setRange(TimeRange::oneWeek);
    view->setRange(TimeRange::oneYear);
    ASSERT_EQ(proxy->requests.size(), 3U);

    // The 1W answer lands while 1Y is still loading: nothing of it may show.
    proxy->answer(1, {"1", "2"});
    test::settle();
    EXPECT_TRUE(view->isLoading());
    EXPECT_TRUE(view->points().empty());
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::loading);

    proxy->answer(2, {"3000", "3100", "3200"});
    ASSERT_TRUE(settled(*view));
    ASSERT_EQ(view->points().size(), 3U);

    // The first (1M) load fails last; neither its error nor its end touches the 1Y state.
    proxy->fail(0, "late failure");
    test::settle();
    EXPECT_EQ(view->loadError(), std::nullopt);
    EXPECT_EQ(view->points().size(), 3U);
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::chart);

    // Nor does a superseded answer end the newer load's spinner.
    view->setRange(TimeRange::oneDay);
    view->setRange(TimeRange::threeMonths);
    proxy->answer(3, {"5"});
    test::settle();
    EXPECT_TRUE(view->isLoading());
    EXPECT_EQ(view->points().size(), 3U);
}

TEST_F(PriceChartTest, OneWindowIsReusedRetitledAndStartsEachChartAfresh) {
    test::FakeWindowActivator activator;
    ChartWindowController controller(service, dataSource, activator, PriceChartView::factory());
    EXPECT_EQ(controller.window(), nullptr);

    controller.show(MetalSeries::gold, Currency::usd);
    QWidget* window = controller.window();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(activator.fronted.size(), 1);
    EXPECT_EQ(activator.fronted[0], window);
    EXPECT_EQ(activator.applicationActivations, 1);

    window->show();
    auto* first = qobject_cast<PriceChartView*>(controller.view());
    ASSERT_NE(first, nullptr);
    first->setRange(TimeRange::oneYear);
    first->setUnit(MetalUnit::kilo);
    window->setGeometry(QRect(40, 50, 820, 560));
    const QRect frame = window->geometry();

    controller.show(MetalSeries::silver, Currency::eur);
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Silver \u2014 Price Chart"));
    EXPECT_EQ(window->geometry(), frame);
    auto* view = qobject_cast<PriceChartView*>(controller.view());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->metal(), MetalSeries::silver);
    EXPECT_EQ(view->currency(), Currency::eur);
    EXPECT_EQ(view->range(), TimeRange::oneMonth);
    EXPECT_EQ(view->unit(), MetalUnit::troyOunce);
    EXPECT_EQ(activator.applicationActivations, 2);
}

TEST_F(PriceChartTest, InvalidatingTheCacheTakesEffectFromItsOwnTask) {
    test::FakeWindowActivator activator;
    ChartWindowController controller(service, dataSource, activator, PriceChartView::factory());
    dataSource->points(MetalSeries::gold, TimeRange::oneMonth, Currency::usd, MetalUnit::gram);
    proxy->answer(0, {"64"});
    test::settle();

    controller.invalidateCache();
    EXPECT_TRUE(
        dataSource->points(MetalSeries::gold, TimeRange::oneMonth, Currency::usd, MetalUnit::gram)
            .isFinished())
        << "still cached right after the call";
    test::settle();
    dataSource->points(MetalSeries::gold, TimeRange::oneMonth, Currency::usd, MetalUnit::gram);
    EXPECT_EQ(proxy->requests.size(), 2U);
}

// The application's own back-end stack: the HTTP client to a pricing service that answered once
// and then went away, with the synthetic walk as the history fallback.
TEST_F(PriceChartTest, SimulatedHistoryIsLabelledAndNoChangeIsComputedAgainstIt) {
    test::LoopbackHttpServer server;
    server.route("/v1/prices", test::LoopbackHttpServer::Response(
                                   200, test::latestDocument("USD", {{"XAU", "2000"}})));
    service = std::make_shared<MetalPricingService>(
        std::make_shared<HybridPricingProxyClient>(
            std::make_shared<HTTPPricingProxyClient>(
                HTTPPricingProxyClient::Configuration{server.baseUrl()}),
            std::make_shared<MockPricingProxyClient>()),
        60.0, clock, log);
    dataSource = std::make_shared<ChartingDataSource>(service, 60.0, clock);
    poll();
    const QString address = server.baseUrl().authority();
    server.close();

    auto view = shownView();
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, seconds(10)));
    EXPECT_EQ(view->areaState(), PriceChartView::AreaState::chart);
    EXPECT_TRUE(view->isSimulated());
    EXPECT_TRUE(view->simulatedNoticeText().startsWith(QStringLiteral("\u26A0 Simulated history")));
    EXPECT_EQ(view->simulatedNoticeToolTip(),
              QStringLiteral("Can't reach the pricing service at ") + address +
                  QStringLiteral(" \u2014 is mintlux-pricing running?"));
    EXPECT_EQ(view->priceText(), QStringLiteral("$2,000.00"));
    ASSERT_FALSE(view->points().empty());
    EXPECT_EQ(view->points().back().value(), Decimal(2000)) << "the invented line meets the price";
    EXPECT_EQ(view->changePercent(), std::nullopt);
    EXPECT_EQ(view->changeText(), QString()) << "no change against invented points";
}
