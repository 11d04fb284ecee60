#include "EventLoop.h"
#include "FakeLoginItem.h"
#include "FakeWindowActivator.h"
#include "Printers.h"
#include "SegmentedChooser.h"
#include "SettingsView.h"
#include "SettingsWindowController.h"
#include "persistence/SettingsKey.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace std::chrono;
using mintlux::test::waitUntil;

namespace {

class SettingsWindowTest : public ::testing::Test {
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

    QTemporaryDir dir;
    PreferencesStore preferences{dir.filePath(QStringLiteral("preferences.json"))};
    test::FakeLoginItem loginItem;
    test::FakeWindowActivator activator;
    SettingsWindowController controller{preferences, loginItem, activator};
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
    QTest::keyClick(view().currencyChooser(), Qt::Key_Down);
    QTest::keyClick(view().currencyChooser(), Qt::Key_Down);
    EXPECT_EQ(preferences.string(SettingsKey::displayCurrency), QStringLiteral("EUR"));
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

    SegmentedChooser* pages = view().pageChooser();
    QTest::mouseClick(pages, Qt::LeftButton, {}, pages->segmentRect(2).center());
    EXPECT_EQ(view().selection(), SettingsView::Tab::about);
    QTest::keyClick(pages, Qt::Key_Left);
    EXPECT_EQ(view().selection(), SettingsView::Tab::display);
    window->close();
    controller.show();
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(view().selection(), SettingsView::Tab::display);
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
    EXPECT_TRUE(view().footerText().contains(QStringLiteral("Mintlux")));
}

}  // namespace
