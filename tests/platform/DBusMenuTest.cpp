#include "HostConnection.h"
#include "Wait.h"
#include "platform/SniStatusItem.h"

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;
using namespace mintlux::test;

namespace {

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

}  // namespace

TEST_F(DBusMenuTest, LayoutHoldsShowPricesASeparatorAndQuit) {
    const DBusMenuLayoutItem root = layout(0, -1, {});
    EXPECT_EQ(root.id, 0);
    EXPECT_EQ(root.properties.value(u"children-display"_s), u"submenu"_s);
    ASSERT_EQ(root.children.size(), 3);
    EXPECT_EQ(root.children[0].properties.value(u"label"_s), u"Show prices"_s);
    EXPECT_EQ(root.children[1].properties.value(u"type"_s), u"separator"_s);
    EXPECT_EQ(root.children[2].properties.value(u"label"_s), u"Quit Mintlux"_s);
    EXPECT_EQ(root.children[2].properties.value(u"icon-name"_s), u"application-exit"_s);

    EXPECT_TRUE(layout(0, 0, {}).children.isEmpty()) << "depth 0 is the node alone";
    const DBusMenuLayoutItem labelsOnly = layout(0, 1, {u"label"_s});
    EXPECT_EQ(labelsOnly.children[2].properties.keys(), QStringList{u"label"_s});
    EXPECT_TRUE(labelsOnly.children[1].properties.isEmpty());

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
    EXPECT_EQ(all.size(), 4) << "the root and its three entries";

    const QDBusMessage shown =
        call(u"AboutToShowGroup"_s, {QVariant::fromValue(QList<int>{0, 55})});
    ASSERT_EQ(shown.arguments().size(), 2);
    EXPECT_TRUE(qdbus_cast<QList<int>>(shown.arguments().at(0)).isEmpty());
    EXPECT_EQ(qdbus_cast<QList<int>>(shown.arguments().at(1)), QList<int>{55});
}
