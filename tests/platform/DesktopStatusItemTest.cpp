#include "FakeStatusNotifierWatcher.h"
#include "HostConnection.h"
#include "TitleState.h"
#include "Wait.h"
#include "platform/DesktopStatusItem.h"
#include "platform/NoTrayNotice.h"

#include <QAbstractButton>
#include <QDBusConnectionInterface>
#include <QLabel>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace mintlux::test;
using Presence = StatusItem::Presence;
using Backend = DesktopStatusItem::Backend;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kItemPath = u"/StatusNotifierItem"_s;
const QString kItemInterface = u"org.kde.StatusNotifierItem"_s;

// The label a panel reads from the one item the watcher lists.
QVariant listedLabel(const FakeStatusNotifierWatcher& watcher) {
    const QString service = watcher.items().value(0).section(u'/', 0, 0);
    return HostConnection().property(service, kItemPath, kItemInterface, u"XAyatanaLabel"_s);
}

}  // namespace

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
