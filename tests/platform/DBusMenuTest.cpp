#include "HostConnection.h"
#include "Wait.h"
#include "platform/SniStatusItem.h"

#include <gtest/gtest.h>

using namespace mintlux;
using namespace mintlux::test;

namespace {

const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString kMenuPath = QStringLiteral("/MenuBar");

class DBusMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        item.setMenuHandlers([this] { ++showRequests; }, [this] { ++quitRequests; });
    }

    QDBusMessage call(const QString& method, const QVariantList& args) const {
        return host.call(item.serviceName(), kMenuPath, kMenuInterface, method, args);
    }

    DBusMenuLayoutItem layout(int parent, int depth, const QStringList& names) const {
        const QDBusMessage reply = call(QStringLiteral("GetLayout"), {parent, depth, names});
        EXPECT_EQ(reply.arguments().size(), 2) << reply.errorMessage().toStdString();
        return qdbus_cast<DBusMenuLayoutItem>(reply.arguments().value(1));
    }

    int idOf(const QString& label) const {
        for (const DBusMenuLayoutItem& child : layout(0, -1, {}).children) {
            if (child.properties.value(QStringLiteral("label")) == label) {
                return child.id;
            }
        }
        return -1;
    }

    QDBusMessage event(int id, const QString& kind = QStringLiteral("clicked")) const {
        return call(QStringLiteral("Event"), {id, kind, QVariant::fromValue(QDBusVariant(0)), 0u});
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
    EXPECT_EQ(root.properties.value(QStringLiteral("children-display")), QStringLiteral("submenu"));
    ASSERT_EQ(root.children.size(), 3);
    EXPECT_EQ(root.children[0].properties.value(QStringLiteral("label")),
              QStringLiteral("Show prices"));
    EXPECT_EQ(root.children[1].properties.value(QStringLiteral("type")),
              QStringLiteral("separator"));
    EXPECT_EQ(root.children[2].properties.value(QStringLiteral("label")),
              QStringLiteral("Quit Mintlux"));
    EXPECT_EQ(root.children[2].properties.value(QStringLiteral("icon-name")),
              QStringLiteral("application-exit"));

    EXPECT_TRUE(layout(0, 0, {}).children.isEmpty()) << "depth 0 is the node alone";
    const DBusMenuLayoutItem labelsOnly = layout(0, 1, {QStringLiteral("label")});
    EXPECT_EQ(labelsOnly.children[2].properties.keys(), QStringList{QStringLiteral("label")});
    EXPECT_TRUE(labelsOnly.children[1].properties.isEmpty());

    EXPECT_EQ(
        host.property(item.serviceName(), kMenuPath, kMenuInterface, QStringLiteral("Version")),
        QVariant(3u));
    EXPECT_EQ(call(QStringLiteral("GetLayout"), {42, -1, QStringList()}).type(),
              QDBusMessage::ErrorMessage);
}

TEST_F(DBusMenuTest, ClickingAnEntryRunsItsHandler) {
    const int show = idOf(QStringLiteral("Show prices"));
    const int quit = idOf(QStringLiteral("Quit Mintlux"));
    ASSERT_GT(show, 0);
    ASSERT_GT(quit, 0);

    EXPECT_EQ(event(quit).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return quitRequests == 1; }));
    EXPECT_EQ(showRequests, 0);

    EXPECT_EQ(event(show, QStringLiteral("hovered")).type(), QDBusMessage::ReplyMessage);
    event(show);
    ASSERT_TRUE(waitFor([&] { return showRequests == 1; }));
    EXPECT_EQ(quitRequests, 1) << "hovering does nothing";

    EXPECT_EQ(event(99).type(), QDBusMessage::ErrorMessage);
}

TEST_F(DBusMenuTest, GroupCallsReportUnknownIds) {
    const int quit = idOf(QStringLiteral("Quit Mintlux"));
    DBusMenuEventList events{
        {quit, QStringLiteral("clicked"), QDBusVariant(0), 0},
        {77, QStringLiteral("clicked"), QDBusVariant(0), 0},
    };
    const QDBusMessage reply = call(QStringLiteral("EventGroup"), {QVariant::fromValue(events)});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().at(0)), QList<int>{77});
    ASSERT_TRUE(waitFor([&] { return quitRequests == 1; }));

    const QDBusMessage props =
        call(QStringLiteral("GetGroupProperties"),
             {QVariant::fromValue(QList<int>{}), QStringList{QStringLiteral("label")}});
    const auto all = qdbus_cast<DBusMenuItemPropertiesList>(props.arguments().at(0));
    EXPECT_EQ(all.size(), 4) << "the root and its three entries";

    const QDBusMessage shown =
        call(QStringLiteral("AboutToShowGroup"), {QVariant::fromValue(QList<int>{0, 55})});
    ASSERT_EQ(shown.arguments().size(), 2);
    EXPECT_TRUE(qdbus_cast<QList<int>>(shown.arguments().at(0)).isEmpty());
    EXPECT_EQ(qdbus_cast<QList<int>>(shown.arguments().at(1)), QList<int>{55});
}
