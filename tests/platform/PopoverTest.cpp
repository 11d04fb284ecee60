#include "Wait.h"
#include "platform/Popover.h"
#include "platform/PopoverPlacement.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace mintlux;
using mintlux::test::waitFor;

namespace {

struct Content {
    std::unique_ptr<QWidget> widget = std::make_unique<QWidget>();
    QPointer<QLineEdit> field;

    Content() {
        auto* layout = new QVBoxLayout(widget.get());
        layout->addWidget(new QLabel(QStringLiteral("Gold")));
        field = new QLineEdit;
        layout->addWidget(field);
    }
};

QList<ScreenArea> screens() {
    QList<ScreenArea> out;
    for (const QScreen* s : QGuiApplication::screens()) {
        out.append({s->geometry(), s->availableGeometry()});
    }
    return out;
}

class PopoverTest : public ::testing::TestWithParam<Popover::Kind> {
protected:
    void SetUp() override {
        popover.setClock([this] { return now; });
        Content c;
        field = c.field;
        popover.setContent(std::move(c.widget));
    }

    QRect topRightItem() const {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        return QRect(screen.right() - 60, screen.top(), 40, 20);
    }

    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    Popover popover{GetParam()};
    QPointer<QLineEdit> field;
};

}  // namespace

TEST_P(PopoverTest, OpensAtItsPlacementWithContentSizeAndTheKeyboardNewContentAndEscape) {
    QPointer<QWidget> old = popover.content();
    QSignalSpy shown(&popover, &Popover::shownChanged);
    popover.show(topRightItem());

    ASSERT_TRUE(popover.isShown());
    EXPECT_EQ(popover.window()->size(), QSize(320, 360));
    EXPECT_EQ(popover.window()->pos(),
              placePopover(topRightItem(), QSize(320, 360), screens()).frame.topLeft());
    ASSERT_EQ(shown.count(), 1);
    EXPECT_TRUE(shown.at(0).at(0).toBool());
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == field.data(); }))
        << "the first control has the focus as soon as the popover opens";

    Content replacement;
    QPointer<QWidget> fresh = replacement.widget.get();
    QPointer<QLineEdit> freshField = replacement.field;
    popover.setContent(std::move(replacement.widget));
    EXPECT_EQ(popover.content(), fresh.data());
    EXPECT_TRUE(fresh->isVisible());
    EXPECT_FALSE(old->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull()) << "whatever the old view held is discarded";
    EXPECT_EQ(popover.window()->findChildren<QLineEdit*>().size(), 1);
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == freshField.data(); }));

    QTest::keyClick(freshField.data(), Qt::Key_Escape);
    EXPECT_FALSE(popover.isShown());
}

TEST_P(PopoverTest, ToggleAndClosingByItselfAndTheClickThatCausedIt) {
    QSignalSpy shown(&popover, &Popover::shownChanged);
    popover.toggle(topRightItem());
    EXPECT_TRUE(popover.isShown());
    popover.toggle(topRightItem());
    EXPECT_FALSE(popover.isShown());
    popover.toggle(topRightItem());
    EXPECT_TRUE(popover.isShown()) << "a close we asked for does not swallow the next click";
    EXPECT_EQ(shown.count(), 3);

    QWidget elsewhere;
    elsewhere.setGeometry(10, 300, 200, 100);
    ASSERT_TRUE(waitFor([&] { return popover.window()->isActiveWindow(); }));

    if (GetParam() == Popover::Kind::popup) {
        QTest::mouseClick(popover.window(), Qt::LeftButton, {}, QPoint(-40, 200));
    } else {
        elsewhere.show();
        elsewhere.activateWindow();
    }
    ASSERT_TRUE(waitFor([&] { return !popover.isShown(); }));

    popover.toggle(topRightItem());
    if (GetParam() == Popover::Kind::focusDialog) {
        // Without a pointer grab, the click that took the focus away goes on to the status
        // item, whose activation arrives next: it must not reopen the popover.
        EXPECT_FALSE(popover.isShown());
        now += std::chrono::seconds(2);
        popover.toggle(topRightItem());
    }
    EXPECT_TRUE(popover.isShown()) << "the next click opens it again";
}

INSTANTIATE_TEST_SUITE_P(Kinds, PopoverTest,
                         ::testing::Values(Popover::Kind::popup, Popover::Kind::focusDialog),
                         [](const ::testing::TestParamInfo<Popover::Kind>& param) {
                             return param.param == Popover::Kind::popup ? "Popup" : "FocusDialog";
                         });
