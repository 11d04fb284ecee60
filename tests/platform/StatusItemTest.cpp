#include "DBusSignalRecorder.h"
#include "FakeStatusNotifierWatcher.h"
#include "HostConnection.h"
#include "Pixels.h"
#include "TitleState.h"
#include "Wait.h"
#include "platform/DesktopStatusItem.h"
#include "platform/NoTrayNotice.h"
#include "platform/SniStatusItem.h"

#include <QAbstractButton>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using namespace mintlux::test;
using Role = StyledTitle::Role;
using Presence = StatusItem::Presence;
using Backend = DesktopStatusItem::Backend;
using namespace std::chrono_literals;

namespace {

const QString kItemInterface = u"org.kde.StatusNotifierItem"_s;
const QString kItemPath = u"/StatusNotifierItem"_s;

StyledTitle rising() {
    return {QString::fromUtf8("Au $2,346 \u25B21.23%"), {{9, 7, Role::positive}}};
}

class SniStatusItemTest : public ::testing::Test {
protected:
    std::unique_ptr<SniStatusItem> makeItem(
        SniStatusItem::IconStyle style = SniStatusItem::IconStyle::title) {
        auto item = std::make_unique<SniStatusItem>(QDBusConnection::sessionBus(), style);
        settled = std::make_unique<QSignalSpy>(item.get(), &SniStatusItem::registrationSettled);
        return item;
    }

    QVariant property(const SniStatusItem& item, const QString& name) const {
        return host.property(item.serviceName(), kItemPath, kItemInterface, name);
    }

    SniIconPixmapList pixmaps(const SniStatusItem& item) const {
        return qdbus_cast<SniIconPixmapList>(property(item, u"IconPixmap"_s));
    }

    QDBusMessage callItem(const SniStatusItem& item, const QString& method,
                          const QVariantList& args) const {
        return host.call(item.serviceName(), kItemPath, kItemInterface, method, args);
    }

    HostConnection host;
    std::unique_ptr<QSignalSpy> settled;
};

// Green as the host would read it: each pixel is A, R, G, B bytes in that order.
int greenPixelsOnTheWire(const SniIconPixmap& p) {
    int green = 0;
    for (qsizetype i = 0; i + 3 < p.argb.size(); i += 4) {
        const auto* px = reinterpret_cast<const uchar*>(p.argb.constData() + i);
        green += isGreen(qRgba(px[1], px[2], px[3], px[0]));
    }
    return green;
}

const QString kMenuInterface = u"com.canonical.dbusmenu"_s;
const QString kMenuPath = u"/MenuBar"_s;

class DBusMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        item.setMenuHandlers([this] { ++showRequests; }, [this] { ++quitRequests; });
    }

    QDBusMessage call(const QString& method, const QVariantList& args) const {
        return host.call(item.serviceName(), kMenuPath, kMenuInterface, method, args);
    }

    DBusMenuLayoutItem layout(int parent, int depth, const QStringList& names) const {
        const QDBusMessage reply = call(u"GetLayout"_s, {parent, depth, names});
        EXPECT_EQ(reply.arguments().size(), 2) << reply.errorMessage().toStdString();
        return qdbus_cast<DBusMenuLayoutItem>(reply.arguments().value(1));
    }

    int idOf(const QString& label) const {
        for (const DBusMenuLayoutItem& child : layout(0, -1, {}).children) {
            if (child.properties.value(u"label"_s) == label) {
                return child.id;
            }
        }
        return -1;
    }

    QDBusMessage event(int id, const QString& kind = u"clicked"_s) const {
        return call(u"Event"_s, {id, kind, QVariant::fromValue(QDBusVariant(0)), 0u});
    }

    HostConnection host;
    SniStatusItem item{QDBusConnection::sessionBus()};
    int showRequests = 0;
    int quitRequests = 0;
};

// The label a panel reads from the one item the watcher lists.
QVariant listedLabel(const FakeStatusNotifierWatcher& watcher) {
    const QString service = watcher.items().value(0).section(u'/', 0, 0);
    return HostConnection().property(service, kItemPath, kItemInterface, u"XAyatanaLabel"_s);
}

// The discreet entry's mark in the menu of the one item the watcher lists.
QVariant listedDiscreetMark(const FakeStatusNotifierWatcher& watcher) {
    const QString service = watcher.items().value(0).section(u'/', 0, 0);
    return HostConnection()
        .call(service, kMenuPath, kMenuInterface, u"GetProperty"_s,
              {SniStatusItem::kDiscreetEntry, u"toggle-state"_s})
        .arguments()
        .value(0)
        .value<QDBusVariant>()
        .variant();
}

}  // namespace

TEST_F(SniStatusItemTest, PropertiesTellTheTitleAndChangesAreAnnouncedOnlyWhenThereAreAny) {
    FakeStatusNotifierWatcher watcher;
    auto item = makeItem();
    item->setStyledTitle(rising());
    const QString text = rising().text;

    const std::vector<std::pair<const char*, QVariant>> expected{
        {"Category", u"ApplicationStatus"_s},
        {"Id", u"mintlux"_s},
        {"Status", u"Active"_s},
        {"Title", text},
        {"ItemIsMenu", false},
        {"XAyatanaLabel", text},
        {"XAyatanaLabelGuide", QString::fromUtf8("Au $0,000 \u25B20.00%")},
    };
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(property(*item, QLatin1String(name)), value) << name;
    }
    EXPECT_EQ(property(*item, u"Menu"_s).value<QDBusObjectPath>().path(), u"/MenuBar"_s);
    const auto toolTip = qdbus_cast<SniToolTip>(property(*item, u"ToolTip"_s));
    EXPECT_EQ(toolTip.title, text);

    const SniIconPixmapList icons = pixmaps(*item);
    ASSERT_EQ(icons.size(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(icons[i].height, SniStatusItem::kIconHeights[i]);
        EXPECT_GT(icons[i].width, 3 * icons[i].height) << "the whole title, not a square";
        EXPECT_EQ(icons[i].argb.size(), qsizetype(icons[i].width) * icons[i].height * 4);
        EXPECT_GT(greenPixelsOnTheWire(icons[i]), 10) << "the rise is green in network order";
    }

    DBusSignalRecorder signals_(
        host.bus(), item->serviceName(), kItemPath, kItemInterface,
        {u"NewIcon"_s, u"NewTitle"_s, u"NewToolTip"_s, u"XAyatanaNewLabel"_s});
    item->setStyledTitle(rising());  // the same again: nothing to tell
    StyledTitle falling = rising();
    falling.runs.front().role = Role::negative;
    item->setStyledTitle(falling);  // only the colour differs: a new icon, the same label
    item->setStyledTitle({QString::fromUtf8("Ag $29.46"), {}});
    // The label comes last and the bus keeps one sender's order: every other signal is in.
    ASSERT_TRUE(waitFor([&] { return signals_.count(u"XAyatanaNewLabel"_s) == 1; }));
    EXPECT_EQ(signals_.count(u"NewIcon"_s), 2);
    EXPECT_EQ(signals_.count(u"NewTitle"_s), 1);
    EXPECT_EQ(signals_.count(u"NewToolTip"_s), 1);
    const QDBusMessage label = signals_.last(u"XAyatanaNewLabel"_s);
    EXPECT_EQ(label.arguments(),
              (QVariantList{QString::fromUtf8("Ag $29.46"), QString::fromUtf8("Ag $00.00")}));
    EXPECT_EQ(property(*item, u"XAyatanaLabel"_s), QString::fromUtf8("Ag $29.46"));

    // Changed this soon after registering, while a host may still be reading the item: told
    // once more when it has settled, all of it, the label as a change from empty (a host drops
    // a label equal to the one it holds even when it never showed it).
    ASSERT_TRUE(waitFor([&] { return signals_.count(u"XAyatanaNewLabel"_s) == 3; },
                        int(SniStatusItem::kHostSettling.count()) + 2000));
    EXPECT_EQ(signals_.last(u"XAyatanaNewLabel"_s).arguments(), label.arguments());
    EXPECT_EQ(signals_.count(u"NewIcon"_s), 3);
    EXPECT_EQ(signals_.count(u"NewTitle"_s), 2);
}

TEST_F(SniStatusItemTest, SquareStylesShowTheDirectionAndSwitchingAnnouncesIt) {
    FakeStatusNotifierWatcher watcher;
    auto item = makeItem(SniStatusItem::IconStyle::compact);
    item->setStyledTitle(rising());
    for (const SniIconPixmap& p : pixmaps(*item)) {
        EXPECT_EQ(p.width, p.height);
        EXPECT_GT(greenPixelsOnTheWire(p), 3);
    }
    DBusSignalRecorder signals_(host.bus(), item->serviceName(), kItemPath, kItemInterface,
                                {u"NewIcon"_s});
    item->setIconStyle(SniStatusItem::IconStyle::title);
    ASSERT_TRUE(waitFor([&] { return signals_.count(u"NewIcon"_s) == 1; }));
    EXPECT_GT(pixmaps(*item).front().width, 22);

    // The mark shows the direction only: the label beside it already names the metal.
    item->setIconStyle(SniStatusItem::IconStyle::mark);
    const SniIconPixmapList gold = pixmaps(*item);
    item->setStyledTitle({QString::fromUtf8("Ag $29.46 \u25B20.50%"), {{9, 7, Role::positive}}});
    const SniIconPixmapList silver = pixmaps(*item);
    ASSERT_FALSE(gold.isEmpty());
    ASSERT_EQ(silver.size(), gold.size());
    for (qsizetype i = 0; i < gold.size(); ++i) {
        EXPECT_EQ(silver[i].argb, gold[i].argb);
    }
    EXPECT_GT(greenPixelsOnTheWire(gold[0]), 10);
    item->setStyledTitle({QString::fromUtf8("Ag $29.46 \u25BC0.50%"), {{9, 7, Role::negative}}});
    EXPECT_EQ(greenPixelsOnTheWire(pixmaps(*item)[0]), 0);
}

TEST_F(SniStatusItemTest, HostClicksReachTheHandlerWithTheirPoint) {
    FakeStatusNotifierWatcher watcher;
    auto item = makeItem();
    QList<QPoint> clicks;
    item->setActivationHandler([&](QPoint p) { clicks.append(p); });

    const std::vector<std::pair<QString, QPoint>> calls{
        {u"Activate"_s, QPoint(640, 12)},
        {u"SecondaryActivate"_s, QPoint(700, 14)},
        {u"ContextMenu"_s, QPoint(800, 1060)},
    };
    for (const auto& [method, point] : calls) {
        SCOPED_TRACE(method.toStdString());
        const QDBusMessage reply = callItem(*item, method, {point.x(), point.y()});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        ASSERT_TRUE(waitFor([&] { return !clicks.isEmpty() && clicks.last() == point; }));
        EXPECT_EQ(item->anchorRect(), QRect(point, QSize(1, 1)));
    }
    EXPECT_EQ(clicks.size(), 3);
    EXPECT_EQ(callItem(*item, u"Scroll"_s, {1, u"vertical"_s}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(clicks.size(), 3) << "the wheel does not open anything";
}

TEST_F(SniStatusItemTest, AWatcherStartingLateOrRestartingGetsTheItemAndForgetsItWhenGone) {
    auto item = makeItem();
    ASSERT_TRUE(waitFor([&] { return settled->count() == 1; }));
    EXPECT_EQ(item->presence(), Presence::waiting);

    QSignalSpy presence(item.get(), &StatusItem::presenceChanged);
    auto watcher = std::make_unique<FakeStatusNotifierWatcher>();
    ASSERT_TRUE(waitFor([&] { return item->presence() == Presence::shown; }));
    EXPECT_EQ(watcher->items(), QStringList{item->serviceName() + kItemPath});
    EXPECT_EQ(presence.count(), 1);

    watcher.reset();  // the panel goes away
    ASSERT_TRUE(waitFor([&] { return item->presence() == Presence::waiting; }));
    watcher = std::make_unique<FakeStatusNotifierWatcher>();
    ASSERT_TRUE(waitFor([&] { return item->presence() == Presence::shown; }));
    EXPECT_EQ(watcher->items(), QStringList{item->serviceName() + kItemPath});

    EXPECT_THROW(SniStatusItem{QDBusConnection::sessionBus()}, std::runtime_error)
        << "one item per connection";
    item->setTitle(u"Pd $1,024"_s);
    EXPECT_EQ(property(*item, u"XAyatanaLabel"_s), u"Pd $1,024"_s)
        << "the failed second item left the first one published";
    item.reset();
    EXPECT_TRUE(waitFor([&] { return watcher->items().isEmpty(); })) << "the item is forgotten";
    auto again = makeItem();  // the object paths are free for a new item
    EXPECT_TRUE(waitFor([&] { return watcher->items().size() == 1; }));
}

// A watcher still starting up may take registrations without listing them, and have no host.
TEST_F(SniStatusItemTest, ARegistrationTheWatcherLosesIsMadeAgainAndShowsOnceAHostArrives) {
    FakeStatusNotifierWatcher watcher(/*hostRegistered=*/false);
    watcher.dropRegistrations = 2;
    auto item = makeItem();
    ASSERT_TRUE(waitFor([&] { return settled->count() == 3; }))
        << "two unlisted attempts, then the one that held";
    EXPECT_EQ(watcher.items(), QStringList{item->serviceName() + kItemPath});
    EXPECT_TRUE(item->serviceName().startsWith(u"org.kde.StatusNotifierItem-"_s));
    EXPECT_EQ(item->presence(), Presence::waiting);
    watcher.setHostRegistered(true);
    EXPECT_TRUE(waitFor([&] { return item->presence() == Presence::shown; }));
}

TEST(SniIconStyle, SquareForHostsThatForceSquaresWholeTitleElsewhere) {
    using Style = SniStatusItem::IconStyle;
    const std::vector<std::pair<const char*, Style>> cases{
        {"KDE", Style::compact},       {"XFCE", Style::compact},         {"LXQt", Style::compact},
        {"ubuntu:GNOME", Style::mark}, {"Budgie:GNOME", Style::compact}, {"GNOME", Style::mark},
        {"sway", Style::title},        {"Hyprland", Style::title},       {"", Style::title},
    };
    for (const auto& [desktop, style] : cases) {
        EXPECT_EQ(SniStatusItem::iconStyleForDesktop(QString::fromLatin1(desktop)), style)
            << desktop;
    }
}

TEST_F(DBusMenuTest, LayoutHoldsShowPricesDiscreetModeASeparatorAndQuit) {
    const DBusMenuLayoutItem root = layout(0, -1, {});
    EXPECT_EQ(root.id, 0);
    EXPECT_EQ(root.properties.value(u"children-display"_s), u"submenu"_s);
    ASSERT_EQ(root.children.size(), 4);
    EXPECT_EQ(root.children[0].properties.value(u"label"_s), u"Show prices"_s);
    EXPECT_FALSE(root.children[0].properties.contains(u"toggle-type"_s));
    EXPECT_EQ(root.children[1].properties.value(u"label"_s), u"Discreet mode"_s);
    EXPECT_EQ(root.children[1].properties.value(u"toggle-type"_s), u"checkmark"_s);
    EXPECT_EQ(root.children[1].properties.value(u"toggle-state"_s), 0);
    EXPECT_EQ(root.children[2].properties.value(u"type"_s), u"separator"_s);
    EXPECT_EQ(root.children[3].properties.value(u"label"_s), u"Quit Mintlux"_s);
    EXPECT_EQ(root.children[3].properties.value(u"icon-name"_s), u"application-exit"_s);

    EXPECT_TRUE(layout(0, 0, {}).children.isEmpty()) << "depth 0 is the node alone";
    const DBusMenuLayoutItem labelsOnly = layout(0, 1, {u"label"_s});
    EXPECT_EQ(labelsOnly.children[3].properties.keys(), QStringList{u"label"_s});
    EXPECT_TRUE(labelsOnly.children[2].properties.isEmpty());

    EXPECT_EQ(host.property(item.serviceName(), kMenuPath, kMenuInterface, u"Version"_s),
              QVariant(3u));
    EXPECT_EQ(call(u"GetLayout"_s, {42, -1, QStringList()}).type(), QDBusMessage::ErrorMessage);
}

TEST_F(DBusMenuTest, ClickingAnEntryAloneOrInAGroupRunsItsHandler) {
    const int show = idOf(u"Show prices"_s);
    const int quit = idOf(u"Quit Mintlux"_s);
    ASSERT_GT(show, 0);
    ASSERT_GT(quit, 0);

    EXPECT_EQ(event(quit).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return quitRequests == 1; }));
    EXPECT_EQ(showRequests, 0);

    EXPECT_EQ(event(show, u"hovered"_s).type(), QDBusMessage::ReplyMessage);
    event(show);
    ASSERT_TRUE(waitFor([&] { return showRequests == 1; }));
    EXPECT_EQ(quitRequests, 1) << "hovering does nothing";

    EXPECT_EQ(event(99).type(), QDBusMessage::ErrorMessage);

    // Group calls report the ids they do not know.
    DBusMenuEventList events{
        {quit, u"clicked"_s, QDBusVariant(0), 0},
        {77, u"clicked"_s, QDBusVariant(0), 0},
    };
    const QDBusMessage reply = call(u"EventGroup"_s, {QVariant::fromValue(events)});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().at(0)), QList<int>{77});
    ASSERT_TRUE(waitFor([&] { return quitRequests == 2; }));

    const QDBusMessage props =
        call(u"GetGroupProperties"_s, {QVariant::fromValue(QList<int>{}), QStringList{u"label"_s}});
    const auto all = qdbus_cast<DBusMenuItemPropertiesList>(props.arguments().at(0));
    EXPECT_EQ(all.size(), 5) << "the root and its four entries";

    const QDBusMessage shown =
        call(u"AboutToShowGroup"_s, {QVariant::fromValue(QList<int>{0, 55})});
    ASSERT_EQ(shown.arguments().size(), 2);
    EXPECT_TRUE(qdbus_cast<QList<int>>(shown.arguments().at(0)).isEmpty());
    EXPECT_EQ(qdbus_cast<QList<int>>(shown.arguments().at(1)), QList<int>{55});
}

// The entry asks for the other state and shows only what the owner sets; each change of the mark
// is announced to the hosts.
TEST_F(DBusMenuTest, TheDiscreetEntryAsksForTheOtherStateAndShowsTheOwnersMark) {
    const int discreet = idOf(u"Discreet mode"_s);
    QList<bool> asked;
    item.setDiscreetHandler([&](bool on) { asked.append(on); });
    DBusSignalRecorder updates(host.bus(), item.serviceName(), kMenuPath, kMenuInterface,
                               {u"ItemsPropertiesUpdated"_s});
    const auto state = [&] {
        return call(u"GetProperty"_s, {discreet, u"toggle-state"_s})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    };

    event(discreet);
    ASSERT_TRUE(waitFor([&] { return asked.size() == 1; }));
    EXPECT_TRUE(asked[0]);
    EXPECT_EQ(state(), 0) << "unchanged until the owner sets it";
    item.setDiscreetChecked(true);
    ASSERT_TRUE(waitFor([&] { return updates.count(u"ItemsPropertiesUpdated"_s) == 1; }));
    const auto changed = qdbus_cast<DBusMenuItemPropertiesList>(
        updates.last(u"ItemsPropertiesUpdated"_s).arguments().value(0));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0].id, discreet);
    EXPECT_EQ(changed[0].properties.value(u"toggle-state"_s), 1);
    EXPECT_EQ(state(), 1);
    item.setDiscreetChecked(true);
    event(discreet);
    ASSERT_TRUE(waitFor([&] { return asked.size() == 2; }));
    EXPECT_FALSE(asked[1]);
    EXPECT_EQ(updates.count(u"ItemsPropertiesUpdated"_s), 1) << "no change, no announcement";
}

TEST(DesktopStatusItem, WithAWatcherItIsAStatusNotifierItemThatStepsAsideForAnotherProgram) {
    FakeStatusNotifierWatcher watcher;
    DesktopStatusItem item({.desktop = u"GNOME"_s, .noticeDelay = 1ms});
    QList<QPoint> clicks;
    item.setActivationHandler([&](QPoint p) { clicks.append(p); });
    item.setTitle(QString::fromUtf8("Au \u2014"));

    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    EXPECT_EQ(item.activeBackend(), Backend::statusNotifier);
    ASSERT_EQ(watcher.items().size(), 1);

    EXPECT_EQ(listedLabel(watcher), QString::fromUtf8("Au \u2014"));
    EXPECT_EQ(listedDiscreetMark(watcher), 0);
    item.setDiscreetChecked(true);
    EXPECT_EQ(listedDiscreetMark(watcher), 1);
    HostConnection().call(watcher.items().first().section(u'/', 0, 0), kItemPath, kItemInterface,
                          u"Activate"_s, {30, 5});
    ASSERT_TRUE(waitFor([&] { return clicks == QList<QPoint>{QPoint(30, 5)}; }));
    EXPECT_EQ(item.anchorRect(), QRect(30, 5, 1, 1));
    QTest::qWait(20);  // well past the notice delay
    EXPECT_EQ(item.notice(), nullptr);

    // Two title-showing programs, the second queued behind the first.
    const QString shown = QString::fromLatin1(title::kShownService);
    std::vector<QString> names{u"shown-1"_s, u"shown-2"_s};
    for (const QString& name : names) {
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
            .interface()
            ->registerService(shown, QDBusConnectionInterface::QueueService,
                              QDBusConnectionInterface::DontAllowReplacement);
    }
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::elsewhere; }));
    EXPECT_TRUE(waitFor([&] { return watcher.items().isEmpty(); }));
    EXPECT_EQ(item.activeBackend(), Backend::none);

    QDBusConnection::disconnectFromBus(names[0]);
    QTest::qWait(50);
    EXPECT_EQ(item.presence(), Presence::elsewhere) << "the queued one still shows it";
    EXPECT_TRUE(watcher.items().isEmpty());
    EXPECT_EQ(item.notice(), nullptr);

    QDBusConnection::disconnectFromBus(names[1]);
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    ASSERT_EQ(watcher.items().size(), 1);
    EXPECT_EQ(listedLabel(watcher), QString::fromUtf8("Au \u2014"));
    EXPECT_EQ(listedDiscreetMark(watcher), 1) << "the new item carries the mark";
}

TEST(DesktopStatusItem, WithNothingToHostTheUserIsToldOnceAndALatePanelStillGetsIt) {
    DesktopStatusItem item({.desktop = u"GNOME"_s, .noticeDelay = 10ms});
    item.setTitle(u"Pt $1,002"_s);

    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::absent; }));
    QWidget* notice = item.notice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    bool namesTheFix = false;
    for (const QLabel* label : notice->findChildren<QLabel*>()) {
        namesTheFix = namesTheFix || label->text().contains(u"AppIndicator"_s);
    }
    EXPECT_TRUE(namesTheFix) << "on GNOME it names the extension to install";

    auto watcher = std::make_unique<FakeStatusNotifierWatcher>();
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    EXPECT_TRUE(waitFor([&] { return item.notice() == nullptr; })) << "the notice goes away";

    watcher.reset();  // the panel leaves for good
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::absent; }));
    QTest::qWait(40);  // four notice delays
    EXPECT_EQ(item.notice(), nullptr) << "the user is told only once";

    watcher = std::make_unique<FakeStatusNotifierWatcher>();
    ASSERT_TRUE(waitFor([&] { return item.presence() == Presence::shown; }));
    EXPECT_EQ(item.title().text, u"Pt $1,002"_s);
}

TEST(DesktopStatusItem, TheNoticeOffersToQuitAndNamesTheWayEachDesktopShowsTheTitle) {
    DesktopStatusItem item({.desktop = u"GNOME"_s, .noticeDelay = 1ms});
    int quits = 0;
    item.setMenuHandlers({}, [&] { ++quits; });
    ASSERT_TRUE(waitFor([&] { return item.notice() != nullptr; }));
    for (QAbstractButton* button : item.notice()->findChildren<QAbstractButton*>()) {
        if (button->text() == u"Quit Mintlux"_s) {
            button->click();
        }
    }
    EXPECT_EQ(quits, 1);

    const std::vector<std::pair<const char*, const char*>> cases{
        {"ubuntu:GNOME", "GNOME Shell extension"},
        {"KDE", "\u201CMintlux\u201D widget"},
        {"XFCE", "mintlux-title --format genmon"},
        {"sway", "mintlux-title"},
    };
    for (const auto& [desktop, names] : cases) {
        EXPECT_TRUE(
            NoTrayNotice::advice(QString::fromLatin1(desktop)).contains(QString::fromUtf8(names)))
            << desktop;
    }
}
