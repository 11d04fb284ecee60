#include "AlertTesting.h"
#include "AlertText.h"
#include "AlertsView.h"
#include "DecimalTesting.h"
#include "EventLoop.h"
#include "FakeClock.h"
#include "FakeLoginItem.h"
#include "FakePricingProxy.h"
#include "FakeWindowActivator.h"
#include "Printers.h"
#include "QuantityText.h"
#include "SegmentedChooser.h"
#include "SettingsView.h"
#include "SettingsWindowController.h"
#include "VaultMetalCard.h"
#include "VaultView.h"
#include "VaultWindowController.h"
#include "alerts/AlertStore.h"
#include "persistence/PreferencesStore.h"
#include "persistence/SettingsKey.h"
#include "persistence/VaultStore.h"
#include "pricing/MetalPricingService.h"

#include <cmath>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono;
using mintlux::test::dec;
using mintlux::test::waitUntil;
using namespace Qt::StringLiterals;

namespace {

struct ParseCase {
    const char* text;
    const char* locale;
    const char* expected;
};

TEST(QuantityTextTest, ReadsCommaOrPointAndTheUsersOwnFormat) {
    const ParseCase cases[] = {
        {"1,5", "en_US", "1.5"},        {"1.5", "de_DE", "1.5"},
        {"abc", "en_US", "0"},          {"", "de_DE", "0"},
        {" 2.5 ", "en_US", "2.5"},      {"1.234,5", "de_DE", "1234.5"},
        {"1,234.5", "en_US", "1234.5"}, {"\u0662\u066B\u0665", "ar_EG", "2.5"},
        {"12abc", "en_US", "0"},        {"-3", "en_US", "-3"},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(QuantityText::parse(QString::fromUtf8(c.text), QString::fromLatin1(c.locale)),
                  dec(c.expected))
            << c.text << " in " << c.locale;
    }
}

TEST(QuantityTextTest, WhatTheFieldShowsReadsBackAsTheShownNumber) {
    for (const char* locale : {"en_US", "de_DE", "fr_FR", "de_CH", "ar_EG", "hi_IN", "fa_IR"}) {
        const QString shown = QuantityText::format(dec("2.1234567"), QString::fromLatin1(locale));
        EXPECT_EQ(QuantityText::parse(shown, QString::fromLatin1(locale)), dec("2.123457"))
            << locale << " shows " << shown.toStdString();
    }
    EXPECT_EQ(QuantityText::format(dec("12345.5"), QStringLiteral("en_US")),
              QStringLiteral("12345.5"));
}

double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// How a label's text stands out from what is behind it, as the accessibility guidelines
// measure it: 1 is invisible, 21 black on white.
double contrast(const QLabel* label, const QColor& background) {
    QColor text = label->palette().color(label->foregroundRole());
    const double a = text.alphaF();
    text = QColor::fromRgbF(static_cast<float>(text.redF() * a + background.redF() * (1 - a)),
                            static_cast<float>(text.greenF() * a + background.greenF() * (1 - a)),
                            static_cast<float>(text.blueF() * a + background.blueF() * (1 - a)));
    const double l1 = luminance(text);
    const double l2 = luminance(background);
    return (std::max(l1, l2) + 0.05) / (std::min(l1, l2) + 0.05);
}

class VaultWindowTest : public ::testing::Test {
protected:
    VaultWindowTest() {
        proxy->setLatest(Currency::usd, {{"XAU", "2000"}, {"XAG", "25"}});
        proxy->setLatest(Currency::inr, {{"XAU", "170000"}, {"XAG", "2100"}});
        test::await(service->refresh(Currency::usd));
    }

    std::unique_ptr<VaultView> makeView(Currency currency = Currency::usd,
                                        const QString& locale = QStringLiteral("en_US")) {
        auto view = std::make_unique<VaultView>(service, currency, store, locale);
        view->resize(580, 640);
        view->show();
        waitUntil([&] { return view->isSubscribed(); });
        return view;
    }
    static void clickSegment(SegmentedChooser* chooser, int index) {
        QTest::mouseClick(chooser, Qt::LeftButton, {}, chooser->segmentRect(index).center());
    }

    QTemporaryDir dir;
    PreferencesStore preferences{dir.filePath(QStringLiteral("preferences.json"))};
    VaultStore store{preferences};
    std::shared_ptr<test::FakePricingProxy> proxy = std::make_shared<test::FakePricingProxy>();
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::shared_ptr<MetalPricingService> service =
        std::make_shared<MetalPricingService>(proxy, 60.0, clock);
};

TEST_F(VaultWindowTest, AnEmptyVaultShowsPlaceholdersAndZeroWorth) {
    auto view = makeView();
    for (const MetalSeries metal : MetalSeries::allCases()) {
        VaultMetalCard* card = view->card(metal);
        EXPECT_TRUE(card->quantityField()->text().isEmpty());
        EXPECT_EQ(card->unitChooser()->label(card->unitChooser()->currentIndex()),
                  QStringLiteral("g"));
        EXPECT_EQ(card->karatChooser() != nullptr, metal == MetalSeries::gold);
    }
    EXPECT_EQ(view->card(MetalSeries::gold)->karatChooser()->currentIndex(), 4);
    EXPECT_EQ(view->card(MetalSeries::gold)->worthText(), QStringLiteral("$0.00"));
    EXPECT_EQ(view->card(MetalSeries::gold)->priceText(), QStringLiteral("$2,000.00 / oz"));
    EXPECT_EQ(view->card(MetalSeries::platinum)->worthText(), QStringLiteral("\u2014"))
        << "no price for platinum";
    EXPECT_EQ(view->totalText(), QStringLiteral("$0.00"));
}

TEST_F(VaultWindowTest, ItsOwnCurrencyIsRefreshedOnTheIntervalOnlyWhileShown) {
    auto view = makeView(Currency::inr);
    const auto priceShown = [&](const QString& price) {
        return waitUntil(
            [&] { return view->card(MetalSeries::gold)->priceText().startsWith(price); });
    };
    ASSERT_TRUE(priceShown(QStringLiteral("\u20B9170,000")));
    proxy->setLatest(Currency::inr, {{"XAU", "171000"}});
    clock->advance(std::chrono::seconds(60));
    EXPECT_TRUE(priceShown(QStringLiteral("\u20B9171,000")))
        << "a price fetched once must not stay on screen as current";
    view->hide();
    const int fetches = proxy->fetches[Currency::inr];
    clock->advance(std::chrono::seconds(600));
    test::settle();
    EXPECT_EQ(proxy->fetches[Currency::inr], fetches) << "a closed window polls nothing";
}

// What a screen reader is told: a named group of named radio buttons, the selected one checked,
// each one pressable; and one stop in the tab order, the arrow keys moving the choice.
TEST_F(VaultWindowTest, TheSegmentedChooserSpeaksAndMovesLikeARadioGroup) {
    auto view = makeView();
    SegmentedChooser* units = view->card(MetalSeries::silver)->unitChooser();
    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(units);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->role(), QAccessible::Grouping);
    EXPECT_EQ(group->text(QAccessible::Name), QStringLiteral("Silver unit"));
    ASSERT_EQ(group->childCount(), units->count());
    for (int i = 0; i < group->childCount(); ++i) {
        QAccessibleInterface* segment = group->child(i);
        EXPECT_EQ(segment->role(), QAccessible::RadioButton);
        EXPECT_EQ(segment->text(QAccessible::Name),
                  MetalUnit::allCases().at(static_cast<std::size_t>(i)).displayLabel(false));
        EXPECT_EQ(segment->state().checked, i == units->currentIndex()) << i;
        EXPECT_EQ(group->indexOfChild(segment), i);
    }
    group->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(store.entry(MetalSeries::silver).unit, MetalUnit::allCases().at(2));
    EXPECT_TRUE(group->child(2)->state().checked);

    view->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return view->isActiveWindow(); }));
    units->setFocus();
    QTest::keyClick(units, Qt::Key_Right);
    EXPECT_EQ(store.entry(MetalSeries::silver).unit, MetalUnit::allCases().at(3));
    EXPECT_EQ(group->focusChild(), group->child(3));
    QTest::keyClick(units, Qt::Key_Tab);
    EXPECT_FALSE(units->hasFocus()) << "one tab stop for the whole row";
}

// In a comma-decimal locale, where the parser also reads the point and many forms of a sign.
TEST_F(VaultWindowTest, StoredHoldingsShowAsStoredAndNoFormOfASignCanBeTypedOrPasted) {
    store.setEntry({dec("-0.5"), MetalUnit::gram, KaratGrade::k24}, MetalSeries::palladium);
    for (const MetalSeries metal : {MetalSeries::gold, MetalSeries::silver}) {
        store.setEntry({dec("1e164"), MetalUnit::kilo, KaratGrade::k24}, metal);
    }
    auto view = makeView(Currency::usd, QStringLiteral("de_DE"));
    EXPECT_EQ(view->card(MetalSeries::palladium)->quantityField()->text(), QStringLiteral("-0,5"));
    // Worth and total past the decimal's range.
    EXPECT_EQ(view->card(MetalSeries::gold)->worthText(), QStringLiteral("\u2014"));
    EXPECT_EQ(view->totalText(), QStringLiteral("\u2014"));

    QLineEdit* platinum = view->card(MetalSeries::platinum)->quantityField();
    QTest::keyClicks(platinum, "+-0,5-");
    EXPECT_EQ(platinum->text(), QStringLiteral("0,5"));
    EXPECT_EQ(store.entry(MetalSeries::platinum).quantity, dec("0.5"));
    // Hyphen, minus, superscript, subscript, heavy and full-width minus; full-width plus.
    for (const QString& sign :
         {u"-"_s, u"\u2212"_s, u"\u207B"_s, u"\u208B"_s, u"\u2796"_s, u"\uFF0D"_s, u"\uFF0B"_s}) {
        SCOPED_TRACE(sign.toStdString());
        QApplication::clipboard()->setText(sign + u"0,5"_s);
        platinum->clear();
        platinum->paste();
        EXPECT_EQ(platinum->text(), QString()) << "the paste is refused whole";
        EXPECT_EQ(store.entry(MetalSeries::platinum).quantity, dec("0.5"));
    }
}

TEST_F(VaultWindowTest, EveryKeystrokeAndChoiceIsStoredAtOnce) {
    auto view = makeView();
    QLineEdit* gold = view->card(MetalSeries::gold)->quantityField();
    QTest::keyClick(gold, Qt::Key_1);
    EXPECT_EQ(store.entry(MetalSeries::gold).quantity, dec("1"));
    QTest::keyClicks(gold, ",5");
    EXPECT_EQ(store.entry(MetalSeries::gold).quantity, dec("1.5"));
    EXPECT_EQ(gold->text(), QStringLiteral("1,5")) << "the text stays as typed";

    clickSegment(view->card(MetalSeries::gold)->unitChooser(), 0);   // oz
    clickSegment(view->card(MetalSeries::gold)->karatChooser(), 3);  // 22K
    const VaultEntry stored = store.entry(MetalSeries::gold);
    EXPECT_EQ(stored, (VaultEntry{dec("1.5"), MetalUnit::troyOunce, KaratGrade::k22}));
    EXPECT_EQ(view->card(MetalSeries::gold)->worthText(), QStringLiteral("$2,751.00"));
    EXPECT_EQ(view->totalText(), QStringLiteral("$2,751.00"));

    QLineEdit* silver = view->card(MetalSeries::silver)->quantityField();
    QTest::keyClicks(silver, "10");
    QTest::keyClick(silver, Qt::Key_Backspace);
    QTest::keyClick(silver, Qt::Key_Backspace);
    EXPECT_EQ(store.entry(MetalSeries::silver).quantity, dec("0")) << "cleared";
}

TEST_F(VaultWindowTest, AQuantityShownInTheUsersLocaleIsKeptAndEditable) {
    store.setEntry({dec("2.1234567"), MetalUnit::gram, KaratGrade::k24}, MetalSeries::gold);
    auto view = makeView(Currency::usd, QStringLiteral("de_DE"));
    QLineEdit* gold = view->card(MetalSeries::gold)->quantityField();
    EXPECT_EQ(gold->text(), QStringLiteral("2,123457"));
    EXPECT_EQ(store.entry(MetalSeries::gold).quantity, dec("2.1234567"))
        << "showing the vault changes nothing stored";

    gold->end(false);
    QTest::keyClick(gold, Qt::Key_8);
    EXPECT_EQ(store.entry(MetalSeries::gold).quantity, dec("2.1234578"));
    QTest::keyClick(gold, Qt::Key_Backspace);
    EXPECT_EQ(store.entry(MetalSeries::gold).quantity, dec("2.123457"));
}

TEST_F(VaultWindowTest, AnotherCurrencyShowsNoStaleAmountsUntilItsPricesArrive) {
    store.setEntry({dec("1"), MetalUnit::troyOunce, KaratGrade::k24}, MetalSeries::silver);
    auto view = makeView();
    EXPECT_EQ(view->totalText(), QStringLiteral("$25.00"));

    QComboBox* chooser = view->currencyChooser();
    QTest::keyClick(chooser, Qt::Key_Down);  // INR, which the service is not polling
    EXPECT_EQ(view->card(MetalSeries::silver)->worthText(), QStringLiteral("\u2014"));
    EXPECT_TRUE(waitUntil([&] {
        return view->card(MetalSeries::silver)->worthText() == QStringLiteral("₹2,100.00");
    }));
    EXPECT_EQ(view->totalText(), QStringLiteral("₹2,100.00"));

    QTest::keyClick(chooser, Qt::Key_Down);  // EUR: the back-end has nothing
    test::settle();
    EXPECT_EQ(view->card(MetalSeries::silver)->worthText(), QStringLiteral("\u2014"));
    EXPECT_EQ(view->totalText(), QStringLiteral("€0.00"));
}

TEST_F(VaultWindowTest, TabWalksTheHeaderThenEachCardAndEnterMovesToTheNextQuantity) {
    auto view = makeView();
    VaultMetalCard* gold = view->card(MetalSeries::gold);
    VaultMetalCard* silver = view->card(MetalSeries::silver);
    const QList<QWidget*> expected{view->currencyChooser(), gold->karatChooser(),
                                   gold->quantityField(),   gold->unitChooser(),
                                   silver->quantityField(), silver->unitChooser()};
    QList<QWidget*> stops{view->currencyChooser()};
    for (QWidget* w = stops.first(); stops.size() < expected.size();) {
        w = w->nextInFocusChain();
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(view.get())) {
            stops << w;
        }
    }
    EXPECT_EQ(stops, expected);

    QTest::keyClick(gold->quantityField(), Qt::Key_Return);
    EXPECT_EQ(view->focusWidget(), silver->quantityField());
}

TEST_F(VaultWindowTest, TheControllerKeepsOneWindowAndRereadsTheStoreOnEveryShow) {
    test::FakeWindowActivator activator;
    VaultWindowController controller(service, store, activator);
    EXPECT_EQ(controller.window(), nullptr);
    controller.show(Currency::usd);
    QWidget* window = controller.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(activator.fronted.size(), 1);
    EXPECT_EQ(activator.applicationActivations, 1);

    store.setEntry({dec("3"), MetalUnit::kilo, KaratGrade::k18}, MetalSeries::gold);
    controller.show(Currency::gbp);
    EXPECT_EQ(controller.window(), window);
    ASSERT_NE(controller.view(), nullptr);
    EXPECT_EQ(controller.view()->card(MetalSeries::gold)->quantityField()->text(),
              QStringLiteral("3"));
    EXPECT_EQ(activator.fronted.size(), 2);
}

// The settings window, over the same preferences.
class SettingsWindowTest : public VaultWindowTest {
protected:
    SettingsView& view() {
        if (!controller.window()) {
            controller.show();
        }
        // The activator double only records; the window is shown here for real layouts.
        controller.window()->show();
        return *controller.view();
    }
    std::optional<bool> storedLaunchAtLogin() const {
        const auto value = preferences.object(SettingsKey::launchAtLogin);
        return value ? value->boolean() : std::nullopt;
    }

    test::FakeLoginItem loginItem;
    test::FakeWindowActivator activator;
    SettingsWindowController controller{preferences, loginItem, activator};
    AlertStore alerts{preferences};
};

TEST_F(SettingsWindowTest, ARefusedRegistrationIsReportedAndFlippedBack) {
    loginItem.failure = QStringLiteral("The autostart folder is read-only");
    QTest::mouseClick(view().launchAtLoginSwitch(), Qt::LeftButton);
    EXPECT_EQ(loginItem.registerCalls, 1);
    EXPECT_FALSE(view().launchAtLoginSwitch()->isChecked());
    EXPECT_EQ(storedLaunchAtLogin(), false);
    EXPECT_EQ(view().launchAtLoginError(),
              QStringLiteral("Couldn't enable launch at login: The autostart folder is read-only"));

    // The error survives closing and reopening the window.
    controller.window()->close();
    controller.show();
    EXPECT_FALSE(view().launchAtLoginError().isEmpty());

    loginItem.failure.reset();
    QTest::mouseClick(view().launchAtLoginSwitch(), Qt::LeftButton);
    EXPECT_TRUE(loginItem.registered);
    EXPECT_EQ(storedLaunchAtLogin(), true);
    EXPECT_TRUE(view().launchAtLoginError().isEmpty());

    loginItem.failure = QStringLiteral("busy");
    QTest::mouseClick(view().launchAtLoginSwitch(), Qt::LeftButton);
    EXPECT_TRUE(view().launchAtLoginSwitch()->isChecked());
    EXPECT_EQ(storedLaunchAtLogin(), true);
    EXPECT_EQ(view().launchAtLoginError(),
              QStringLiteral("Couldn't disable launch at login: busy"));
}

TEST_F(SettingsWindowTest, ChoosersWriteTheirKeysAndFollowChangesMadeElsewhere) {
    preferences.set(QStringLiteral("no such mode"), SettingsKey::displayMode);
    EXPECT_TRUE(view().modeButton(DisplayMode::priceAndDelta)->isChecked());

    QTest::mouseClick(view().modeButton(DisplayMode::vaultValue), Qt::LeftButton);
    EXPECT_EQ(preferences.string(SettingsKey::displayMode), QStringLiteral("vaultValue"));
    QTest::keyClick(view().metalChooser(), Qt::Key_End);
    EXPECT_EQ(preferences.string(SettingsKey::primaryMetal), QStringLiteral("XPD"));

    // The popup's metal choice, another process, an editor: the page follows the store.
    preferences.set(QStringLiteral("XAG"), SettingsKey::primaryMetal);
    preferences.set(QStringLiteral("GBP"), SettingsKey::displayCurrency);
    preferences.set(QStringLiteral("priceOnly"), SettingsKey::displayMode);
    EXPECT_TRUE(waitUntil([&] { return view().metalChooser()->currentIndex() == 1; }));
    EXPECT_EQ(view().currencyChooser()->currentIndex(), 3);
    EXPECT_TRUE(view().modeButton(DisplayMode::priceOnly)->isChecked());
}

TEST_F(SettingsWindowTest, TheWindowIsMadeOnceAndKeepsItsPage) {
    QWidget* window = view().window();
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";
    EXPECT_EQ(view().selection(), SettingsView::Tab::general);

    view().setSelection(SettingsView::Tab::about);
    QTest::keyClick(view().pageChooser(), Qt::Key_Left);
    EXPECT_EQ(view().selection(), SettingsView::Tab::alerts);
    EXPECT_NE(window->focusWidget(), view().alertsPage()->levelField())
        << "the arrow keys stay in the chooser";
    view().setSelection(SettingsView::Tab::general);
    const QRect segment = view().pageChooser()->segmentRect(2);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      view().pageChooser()->mapTo(window, segment.center()));
    EXPECT_EQ(window->focusWidget(), view().alertsPage()->levelField()) << "a click leads on";
    window->close();
    controller.show();
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(view().selection(), SettingsView::Tab::alerts);
    EXPECT_EQ(activator.fronted.size(), 2);
    EXPECT_EQ(activator.applicationActivations, 2);
}

TEST_F(SettingsWindowTest, TheAboutFooterCarriesTheYearOfTheUsersCalendar) {
    const Instant midYear2027 = sys_days(year(2027) / 6 / 1);
    EXPECT_EQ(SettingsView::yearString(midYear2027, QStringLiteral("en_US")),
              QStringLiteral("2027"));
    EXPECT_EQ(SettingsView::yearString(midYear2027, QStringLiteral("th_TH")),
              QStringLiteral("2570"))
        << "Buddhist calendar";
    EXPECT_TRUE(view().footerText().contains(SettingsView::yearString()));
}

// Every text of the windows stays readable in a light and a dark desktop theme, switched while
// the windows are open. The renderings are kept for a person to look at.
TEST_F(SettingsWindowTest, TextsStayReadableInLightAndDarkThemes) {
    store.setEntry({Decimal(2), MetalUnit::troyOunce, KaratGrade::k22}, MetalSeries::gold);
    AlertRule fired =
        test::alertRule(u"f"_s, MetalSeries::silver, AlertCondition::downBy, Decimal(3));
    fired.repeating = true;
    fired.lastFired = system_clock::now();
    alerts.setRules(
        {test::alertRule(u"w"_s, MetalSeries::gold, AlertCondition::above, Decimal(2400)), fired});
    controller.setNotificationStatus([] {
        return u"No notification server is running: alerts show in the popup and the status "
               u"item's tooltip only."_s;
    });
    loginItem.failure = QStringLiteral("The autostart folder is read-only");
    const auto vault = makeView();
    SettingsView& settings = view();
    QTest::mouseClick(settings.launchAtLoginSwitch(), Qt::LeftButton);
    ASSERT_FALSE(settings.launchAtLoginError().isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return vault->totalText() != QStringLiteral("$0.00"); }));

    const QString artifacts = QStringLiteral(MINTLUX_WINDOW_ARTIFACTS);
    QDir().mkpath(artifacts);
    const QPalette light = QApplication::palette();
    for (const auto& [name, palette] :
         {std::pair{"light", light}, {"dark", QPalette(QColor(0x3A3A3A), QColor(0x2B2B2B))}}) {
        QApplication::setPalette(palette);
        test::settle();
        const QColor window = palette.color(QPalette::Window);
        const QColor card = palette.color(QPalette::Base);
        for (const MetalSeries metal : MetalSeries::allCases()) {
            const VaultMetalCard* c = vault->card(metal);
            const auto* price = c->findChild<QLabel*>(QStringLiteral("price"));
            const auto* worth = c->findChild<QLabel*>(QStringLiteral("worth"));
            if (!price->text().isEmpty()) {
                EXPECT_GE(contrast(price, card), 3.0) << name << " " << price->text().toStdString();
            }
            EXPECT_GE(contrast(worth, card), worth->text() == QStringLiteral("\u2014") ? 3.0 : 4.5)
                << name << " " << worth->text().toStdString();
        }
        EXPECT_GE(contrast(vault->findChild<QLabel*>(QStringLiteral("total")), window), 4.5)
            << name;
        for (const char* label : {"launchAtLoginError", "footer", "notificationStatus"}) {
            EXPECT_GE(contrast(settings.findChild<QLabel*>(QLatin1String(label)), window), 3.0)
                << name << " " << label;
        }
        vault->grab().save(artifacts + QStringLiteral("/vault-%1.png").arg(QLatin1String(name)));
        for (const auto tab : {SettingsView::Tab::general, SettingsView::Tab::display,
                               SettingsView::Tab::alerts, SettingsView::Tab::about}) {
            settings.setSelection(tab);
            settings.grab().save(artifacts + QStringLiteral("/settings-%1-%2.png")
                                                 .arg(QLatin1String(name))
                                                 .arg(static_cast<int>(tab)));
        }
    }
    QApplication::setPalette(light);
}

TEST(AlertTextTest, SentencesInTheUsersLocaleAndWhereEachRuleStands) {
    AlertRule gold = test::alertRule(u"g"_s, MetalSeries::gold, AlertCondition::above, dec("2400"));
    AlertRule silver =
        test::alertRule(u"s"_s, MetalSeries::silver, AlertCondition::downBy, dec("3"));
    silver.repeating = true;
    EXPECT_EQ(AlertText::line(gold, u"en_US"_s),
              u"Gold above $2,400.00 per troy ounce \u00B7 once"_s);
    EXPECT_EQ(AlertText::line(silver, u"en_US"_s),
              u"Silver down by 3.00% today \u00B7 repeating"_s);
    gold.condition = AlertCondition::below;
    gold.currency = Currency::eur;
    gold.unit = MetalUnit::gram;
    EXPECT_EQ(AlertText::describe(gold, u"de_DE"_s), u"Gold below 2.400,00\u00A0\u20AC per gram"_s);

    const Instant now = sys_days(year(2026) / 3 / 4) + hours(15);
    const struct {
        bool enabled, armed;
        std::optional<Instant> fired, snoozed;
        const char16_t* expected;
    } cases[] = {
        {true, false, {}, {}, u"waiting for the price to be on the other side"},
        {true, true, {}, {}, u"armed"},
        {false, true, now, {}, u"off"},
        {true, true, now - minutes(28), {}, u"fired 14:32"},
        {true, false, now - hours(48), {}, u"fired 02.03.2026, 15:00"},
        {true, false, now - hours(1), now + hours(1), u"snoozed until 16:00"},
        {true, true, now - hours(2), now - hours(1), u"fired 13:00"},
    };
    for (const auto& c : cases) {
        silver.enabled = c.enabled;
        silver.armed = c.armed;
        silver.lastFired = c.fired;
        silver.snoozedUntil = c.snoozed;
        EXPECT_EQ(AlertText::state(silver, now, u"de_DE"_s, u"UTC"_s),
                  QString::fromUtf16(c.expected));
    }
}

// The Alerts page on its own, in the locale each case names.
class AlertsPageTest : public SettingsWindowTest {
protected:
    std::unique_ptr<AlertsView> makePage(const QString& locale) {
        auto page = std::make_unique<AlertsView>(preferences, locale);
        page->resize(448, 300);
        page->show();
        return page;
    }
    static void enter(QLineEdit* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
};

TEST_F(AlertsPageTest, ALevelIsReadAsTheUsersLocaleWritesItOrRefusedAloud) {
    preferences.set(u"XAG"_s, SettingsKey::primaryMetal);
    preferences.set(u"EUR"_s, SettingsKey::displayCurrency);
    const struct {
        const char* locale;
        const char* typed;
        const char* stored;  // null: refused with `error`
        const char16_t* error;
    } cases[] = {
        {"en_US", "2,400.50", "2400.5", u""},
        {"de_DE", "2.400,50", "2400.5", u""},
        {"hi_IN", "2,400.50", "2400.5", u""},
        {"en_US", "2,400", "2400", u""},
        {"de_DE", "2.400", "2400", u""},
        {"de_DE", "2400.5", "2400.5", u""},
        {"en_US", "abc", nullptr, u"\u201Cabc\u201D is not a number."},
        {"en_US", "0", nullptr, u"Enter a price above zero."},
        {"de_DE", "-5", nullptr, u"Enter a price above zero."},
        {"en_US", "", nullptr, u"Enter a price."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " in " + c.locale);
        alerts.setRules({});
        const auto page = makePage(QString::fromLatin1(c.locale));
        enter(page->levelField(), QString::fromLatin1(c.typed));
        const std::vector<AlertRule> rules = alerts.rules();
        const QString error = QString::fromUtf16(c.error);
        EXPECT_EQ(page->errorText(), error);
        EXPECT_EQ(page->levelField()->accessibleDescription(), error);
        if (c.stored == nullptr) {
            EXPECT_TRUE(rules.empty());
            continue;
        }
        ASSERT_EQ(rules.size(), 1U);
        AlertRule expected = test::alertRule(rules[0].id, MetalSeries::silver,
                                             AlertCondition::above, dec(c.stored), Currency::eur);
        EXPECT_EQ(rules[0], expected);
        EXPECT_TRUE(page->levelField()->text().isEmpty()) << "ready for the next level";
    }
}

TEST_F(AlertsPageTest, EditsChangeOneRuleFreshFromTheStoreAndRestartItOnlyWhenItsMeaningChanges) {
    alerts.setRules(
        {test::alertRule(u"a"_s, MetalSeries::gold, AlertCondition::above, dec("2400.1234567")),
         test::alertRule(u"b"_s, MetalSeries::silver, AlertCondition::below, dec("20"))});
    const auto page = makePage(u"de_DE"_s);
    QListWidget* list = page->ruleList();
    QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->child(1)->text(QAccessible::Name),
              u"Silver below 20,00\u00A0$ per troy ounce \u00B7 once"_s);

    // The monitor arms and fires "a" while the page is open.
    AlertRule monitored = *alerts.rule(u"a"_s);
    monitored.armed = true;
    monitored.lastFired = system_clock::now();
    alerts.put(monitored);
    ASSERT_TRUE(waitUntil([&] {
        return list->item(0)->data(Qt::AccessibleDescriptionRole).toString().startsWith(u"fired");
    }));
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(alerts.rule(u"b"_s)->enabled);
    EXPECT_EQ(alerts.rule(u"a"_s), monitored) << "another rule's state is kept";

    list->setCurrentRow(0);
    EXPECT_EQ(page->editedRule(), u"a"_s);
    EXPECT_EQ(page->levelField()->text(), u"2400,123457"_s);
    QTest::keyClick(page->repeatingSwitch(), Qt::Key_Space);
    QTest::keyClick(page->levelField(), Qt::Key_Return);
    monitored.repeating = true;
    EXPECT_EQ(alerts.rule(u"a"_s), monitored) << "level exact and state kept";

    enter(page->levelField(), u"2.500"_s);
    AlertRule restarted = monitored;
    restarted.level = dec("2500");
    restarted.resetState();
    EXPECT_EQ(alerts.rule(u"a"_s), restarted);

    AlertRule firedAgain = restarted;
    firedAgain.armed = true;
    firedAgain.lastFired = system_clock::now();
    alerts.put(firedAgain);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(alerts.rule(u"a"_s)->enabled);
    EXPECT_TRUE(alerts.rule(u"a"_s)->lastFired) << "switched off, it keeps its history";
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(alerts.rule(u"a"_s), restarted) << "switched on, it starts over";

    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(alerts.rules().size(), 1U);
    EXPECT_EQ(alerts.rules()[0].id, u"b"_s);
    EXPECT_EQ(list->count(), 1);
    // Deleted elsewhere while being edited: the form goes back to adding.
    EXPECT_EQ(page->editedRule(), u"b"_s);
    alerts.remove(u"b"_s);
    EXPECT_TRUE(waitUntil([&] { return list->count() == 0 && page->editedRule().isEmpty(); }));
    EXPECT_EQ(page->submitButton()->accessibleName(), u"Add alert"_s);
}

// From the popup: the window opens on Alerts with the level field focused, so a level and Enter
// make a rule in the display currency, per troy ounce, for the status item's metal.
TEST_F(AlertsPageTest, TheWindowOpensOnAlertsReadyForALevel) {
    QString delivery = u"No notification server is running."_s;
    controller.setNotificationStatus([&] { return delivery; });
    controller.show(SettingsView::Tab::alerts);
    controller.window()->show();
    AlertsView* page = view().alertsPage();
    EXPECT_EQ(view().selection(), SettingsView::Tab::alerts);
    EXPECT_EQ(controller.window()->focusWidget(), page->levelField());
    EXPECT_EQ(page->statusText(), delivery);
    QTest::keyClicks(page->levelField(), "2400");
    QTest::keyClick(page->levelField(), Qt::Key_Return);
    ASSERT_EQ(alerts.rules().size(), 1U);
    EXPECT_EQ(AlertText::line(alerts.rules()[0], u"en_US"_s),
              u"Gold above $2,400.00 per troy ounce \u00B7 once"_s);
    controller.window()->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return controller.window()->isActiveWindow(); }));
    page->ruleList()->setFocus(Qt::BacktabFocusReason);
    EXPECT_NE(page->ruleList()->currentItem(), nullptr);
    EXPECT_TRUE(page->editedRule().isEmpty()) << "tabbing through the list edits nothing";

    delivery.clear();
    controller.window()->close();
    view();
    EXPECT_EQ(page->statusText(), QString()) << "asked again on every showing";
}

}  // namespace
