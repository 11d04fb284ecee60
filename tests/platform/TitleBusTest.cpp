#include "DBusSignalRecorder.h"
#include "HostConnection.h"
#include "Printers.h"
#include "Wait.h"
#include "platform/TitlePublisher.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <QDBusConnectionInterface>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QProcess>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace mintlux::test;
using title::Segment;
using title::TitleState;
using namespace Qt::StringLiterals;

namespace {

const QString kService = QString::fromLatin1(title::kService);
const QString kShown = QString::fromLatin1(title::kShownService);

TitleState state(const QString& head, const QString& tail, const QString& tooltip) {
    TitleState s;
    const bool up = tail.contains(QChar(0x25B2));
    s.segments = {{head, u"none"_s}, {tail, up ? u"positive"_s : u"negative"_s}};
    s.text = head + tail;
    s.tooltip = tooltip.isNull() ? s.text : tooltip;
    s.direction = up ? u"up"_s : u"down"_s;
    s.symbol = u"Au"_s;
    s.updated = 1700000000123;
    return s;
}

TitleState rising(const QString& price) {
    return state(u"Au "_s + price, u" \u25B21.23%"_s, {});
}

struct TitleRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The real reader, while this thread's event loop keeps the publisher answering; several at once,
// as each may wait out a hung app.
std::vector<TitleRun> runTitles(const std::vector<QStringList>& argLists) {
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList& args : argLists) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(MINTLUX_TITLE_BIN), args);
    }
    EXPECT_TRUE(waitFor([&] {
        return std::ranges::all_of(
            processes, [](const auto& p) { return p->state() == QProcess::NotRunning; });
    }));
    std::vector<TitleRun> runs;
    for (const auto& p : processes) {
        runs.push_back({p->exitCode(), QString::fromUtf8(p->readAllStandardOutput()),
                        QString::fromUtf8(p->readAllStandardError())});
    }
    return runs;
}

TitleRun runTitle(const QStringList& args) {
    return runTitles({args}).front();
}

// The app's title on the bus from a thread that never runs its event loop: calls reach it and
// are never answered, as with a hung app.
class HungApp : public QThread {
public:
    HungApp() {
        start();
        m_ready.acquire();
    }
    ~HungApp() override {
        m_release.release();
        wait();
    }
    bool published = false;

private:
    void run() override {
        TitlePublisher publisher(QDBusConnection::sessionBus());
        publisher.publish(rising(u"$2,346"_s));
        published = publisher.isPublished();
        m_ready.release();
        m_release.acquire();
    }
    QSemaphore m_ready;
    QSemaphore m_release;
};

bool nameOwned(const QString& name) {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name);
}

struct Unreachable {
    QStringList args;
    int exitCode;
    std::string out;
    std::string err;
};

// Without a title a one-shot says why on one line and fails, except where the panel would draw
// that line (genmon): there the monitor is empty and the reason its tooltip.
void expectUnreachable(const std::vector<Unreachable>& cases) {
    std::vector<QStringList> argLists;
    for (const Unreachable& c : cases) {
        argLists.push_back(c.args);
    }
    const std::vector<TitleRun> runs = runTitles(argLists);
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [args, exitCode, out, err] = cases[i];
        EXPECT_EQ(runs[i].exitCode, exitCode) << args.join(u' ').toStdString();
        EXPECT_EQ(runs[i].out.toStdString(), out) << args.join(u' ').toStdString();
        EXPECT_EQ(runs[i].err.toStdString(), err) << args.join(u' ').toStdString();
    }
}

}  // namespace

// Each format escapes for its reader and activation opens the popup at the point given.
TEST(TitleBus, OneShotsWithoutAndWithTheApp) {
    ASSERT_FALSE(nameOwned(kService));
    expectUnreachable({
        {{}, 1, "", "mintlux-title: Mintlux is not running\n"},
        {{u"--activate"_s}, 1, "", "mintlux-title: Mintlux is not running\n"},
        {{u"--format"_s, u"genmon"_s}, 0, "<txt></txt><tool>Mintlux is not running</tool>\n", ""},
    });
    EXPECT_EQ(runTitle({u"--format"_s, u"xml"_s}).exitCode, 2);

    TitlePublisher publisher(QDBusConnection::sessionBus());
    ASSERT_TRUE(publisher.isPublished());
    // Markup, JSON and polybar specials in every field a format writes.
    publisher.publish(
        state(u"Au\n$<2&3>'"_s, u" \u25BC%{F#fff}1\"\\%"_s, u"Gold \"spot\"\nline<2> & \\\t"_s));
    const std::vector<std::pair<const char*, QString>> cases{
        {"plain", u"Au $<2&3>' ▼%{F#fff}1\"\\%"_s},
        {"pango",
         uR"(Au $&lt;2&amp;3&gt;&#39;<span foreground="#FF554A"> ▼%{F#fff}1&quot;\%</span>)"_s},
        {"waybar",
         uR"({"text":"Au $&lt;2&amp;3&gt;&#39;<span foreground=\"#FF554A\"> )"
         uR"(▼%{F#fff}1&quot;\\%</span>","tooltip":"Gold &quot;spot&quot;\nline&lt;2&gt; )"
         uR"(&amp; \\ ","class":"down","alt":"Au"})"_s},
        {"genmon",
         u"<txt>Au $&lt;2&amp;3&gt;&#39;<span foreground=\"#FF554A\"> ▼%{F#fff}1&quot;\\%</span>"
         u"</txt><tool>Gold &quot;spot&quot;\nline&lt;2&gt; &amp; \\ </tool>"
         u"<txtclick>mintlux-title --activate</txtclick>"_s},
        {"polybar",
         u"%{A1:mintlux-title --activate:}Au $<2&3>'%{F#FF554A} ▼%\u200B{F#fff}1\"\\%%{F-}%{A}"_s},
    };
    for (const auto& [format, expected] : cases) {
        const TitleRun run = runTitle({u"--format"_s, QString::fromLatin1(format)});
        EXPECT_EQ(run.exitCode, 0) << format;
        EXPECT_EQ(run.out, expected + u'\n') << format;
        EXPECT_EQ(run.err, QString()) << format;
    }

    QList<QPoint> clicks;
    publisher.setActivationHandler([&](QPoint at) { clicks.append(at); });
    HostConnection().call(kService, QString::fromLatin1(title::kPath),
                          QString::fromLatin1(title::kInterface), u"Activate"_s, {320, 24});
    ASSERT_TRUE(waitFor([&] { return clicks.size() == 1; }));
    EXPECT_EQ(clicks[0], QPoint(320, 24));
    EXPECT_EQ(runTitle({u"--activate"_s}).exitCode, 0);
    EXPECT_TRUE(waitFor([&] { return clicks.size() == 2; }));
}

TEST(TitleBus, FollowPrintsEachChangeAndThePlaceholderWhileTheAppIsAway) {
    auto app = std::make_unique<TitlePublisher>(QDBusConnection::sessionBus());
    app->publish(rising(u"$2,346"_s));
    HostConnection host;
    DBusSignalRecorder changes(host.bus(), kService, QString::fromLatin1(title::kPath),
                               QString::fromLatin1(title::kInterface), {u"Changed"_s});
    DBusSignalRecorder properties(host.bus(), kService, QString::fromLatin1(title::kPath),
                                  u"org.freedesktop.DBus.Properties"_s, {u"PropertiesChanged"_s});

    QProcess follower;
    follower.start(QStringLiteral(MINTLUX_TITLE_BIN), {u"--follow"_s});
    QStringList lines;
    const auto lineCount = [&](qsizetype n) {
        return waitFor([&] {
            while (follower.canReadLine()) {
                lines.append(QString::fromUtf8(follower.readLine()).chopped(1));
            }
            return lines.size() >= n;
        });
    };
    ASSERT_TRUE(lineCount(1));
    EXPECT_EQ(lines.last(), rising(u"$2,346"_s).text);
    ASSERT_TRUE(waitFor([&] { return nameOwned(kShown); }));

    app->publish(rising(u"$2,350"_s));
    app->publish(rising(u"$2,350"_s));
    ASSERT_TRUE(lineCount(2));
    EXPECT_EQ(lines.last(), rising(u"$2,350"_s).text);
    // Signals reach this connection in their own time, not in step with the follower.
    ASSERT_TRUE(waitFor([&] { return properties.count(u"PropertiesChanged"_s) > 0; }));
    QTest::qWait(50);
    EXPECT_EQ(changes.count(u"Changed"_s), 1);
    ASSERT_EQ(properties.count(u"PropertiesChanged"_s), 1);
    const QVariantMap changed =
        qdbus_cast<QVariantMap>(properties.last(u"PropertiesChanged"_s).arguments().at(1));
    EXPECT_EQ(changed.keys(), (QStringList{u"Segments"_s, u"Text"_s, u"Tooltip"_s}));

    // The same title confirmed a minute later: current when asked, but no news to anyone.
    title::TitleState confirmed = rising(u"$2,350"_s);
    confirmed.updated += 60'000;
    app->publish(confirmed);
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, QString::fromLatin1(title::kPath),
                                       u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << QString::fromLatin1(title::kInterface) << u"Updated"_s;
    QDBusPendingCall asked = host.bus().asyncCall(get);
    ASSERT_TRUE(waitFor([&] { return asked.isFinished(); }));
    EXPECT_EQ(QDBusPendingReply<QDBusVariant>(asked).value().variant().toLongLong(),
              confirmed.updated);
    QTest::qWait(50);
    EXPECT_EQ(changes.count(u"Changed"_s), 1);
    EXPECT_EQ(properties.count(u"PropertiesChanged"_s), 1);

    app.reset();
    ASSERT_TRUE(lineCount(3));
    EXPECT_EQ(lines.last(), QString::fromUtf8("Au \u2014"));

    app = std::make_unique<TitlePublisher>(QDBusConnection::sessionBus());
    app->publish(rising(u"$2,360"_s));
    ASSERT_TRUE(lineCount(4));
    EXPECT_EQ(lines.last(), rising(u"$2,360"_s).text);

    follower.terminate();
    ASSERT_TRUE(waitFor([&] { return follower.state() == QProcess::NotRunning; }));
    EXPECT_TRUE(waitFor([&] { return !nameOwned(kShown); }));
    EXPECT_EQ(lines.size(), 4);
}

// A hung app costs a reader its call's bound, not D-Bus's 25 s: a panel running it in its own
// process (genmon) must not hang with the app. A follower shows the placeholder meanwhile.
TEST(TitleBus, AHungAppIsGivenUpOn) {
    HungApp app;
    ASSERT_TRUE(app.published);
    QProcess follower;
    follower.start(QStringLiteral(MINTLUX_TITLE_BIN), {u"--follow"_s});
    const std::string hung = "mintlux-title: Mintlux is not answering\n";
    expectUnreachable({
        {{}, 1, "", hung},
        {{u"--format"_s, u"waybar"_s}, 1, "", hung},
        {{u"--format"_s, u"polybar"_s}, 1, "", hung},
        {{u"--format"_s, u"genmon"_s}, 0, "<txt></txt><tool>Mintlux is not answering</tool>\n", ""},
        {{u"--activate"_s}, 1, "", hung},
    });
    ASSERT_TRUE(waitFor([&] { return follower.canReadLine(); }));
    EXPECT_EQ(QString::fromUtf8(follower.readLine()), QString::fromUtf8("\u2014\n"));
    follower.terminate();
    EXPECT_TRUE(waitFor([&] { return follower.state() == QProcess::NotRunning; }));
}
