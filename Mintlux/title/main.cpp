// mintlux-title: prints the running Mintlux's title for panels and bars.
#include "TitleFormat.h"
#include "TitleState.h"

#include <cstdio>
#include <cstdlib>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

using namespace mintlux::title;
using namespace Qt::StringLiterals;

namespace {

enum Exit { ok = 0, notRunning = 1, usage = 2 };

// The app answers in milliseconds; one that takes longer is hung, and a panel that runs this
// inside its own process (genmon) would hang with it for D-Bus's default 25 s.
constexpr int kCallTimeoutMs = 1500;

void printLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& message) {
    std::fputs(qPrintable(u"mintlux-title: "_s + message + u'\n'), stderr);
}

QDBusMessage titleCall(const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface), method);
    // A panel polling every few seconds must never be what starts the application.
    call.setAutoStartService(false);
    return call;
}

std::optional<TitleState> stateFrom(const QList<QVariant>& args) {
    if (args.size() != 6) {
        return std::nullopt;
    }
    TitleState state;
    state.text = args[0].toString();
    state.segments = qdbus_cast<Segments>(args[1]);
    state.tooltip = args[2].toString();
    state.direction = args[3].toString();
    state.symbol = args[4].toString();
    state.updated = args[5].toLongLong();
    return state;
}

QString whyUnreachable(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (name == u"org.freedesktop.DBus.Error.ServiceUnknown"_s ||
        name == u"org.freedesktop.DBus.Error.NameHasNoOwner"_s) {
        return u"Mintlux is not running"_s;
    }
    if (name == u"org.freedesktop.DBus.Error.NoReply"_s ||
        name == u"org.freedesktop.DBus.Error.Timeout"_s) {
        return u"Mintlux is not answering"_s;
    }
    return u"Mintlux did not answer: "_s + reply.errorMessage();
}

// Prints a line whenever the title changes and the placeholder while the app is away; holds the
// name that tells the app its own status item is not needed.
class Follower : public QObject {
    Q_OBJECT

public:
    Follower(QDBusConnection bus, Format format) : m_bus(std::move(bus)), m_format(format) {
        m_bus.interface()->registerService(QLatin1String(kShownService),
                                           QDBusConnectionInterface::QueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
        // Qt follows the name's owner, so the subscription survives the app's restarts.
        m_bus.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                      u"Changed"_s, this, SLOT(onChanged(QDBusMessage)));
        auto* watcher = new QDBusServiceWatcher(QLatin1String(kService), m_bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    if (owner.isEmpty()) {
                        ++m_generation;
                        show(absentState(m_lastSymbol, u"Mintlux is not running"_s));
                    } else {
                        fetch();
                    }
                });
        fetch();
    }

private slots:
    void onChanged(const QDBusMessage& message) {
        if (auto state = stateFrom(message.arguments())) {
            ++m_generation;  // anything still being fetched is older than this
            show(*state);
        }
    }

private:
    void fetch() {
        const quint64 generation = ++m_generation;
        auto* pending = new QDBusPendingCallWatcher(
            m_bus.asyncCall(titleCall(u"GetTitle"_s), kCallTimeoutMs), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, generation] {
            pending->deleteLater();
            if (generation != m_generation) {
                return;
            }
            const QDBusMessage reply = pending->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
                show(absentState(m_lastSymbol, whyUnreachable(reply)));
            } else if (const auto state = stateFrom(reply.arguments())) {
                show(*state);
            } else {
                show(absentState(m_lastSymbol, u"Mintlux answered with something unexpected"_s));
            }
        });
    }

    void show(const TitleState& state) {
        if (!state.symbol.isEmpty()) {
            m_lastSymbol = state.symbol;
        }
        const QString line = formatTitle(state, m_format);
        if (line != m_lastLine) {
            m_lastLine = line;
            printLine(line);
        }
    }

    QDBusConnection m_bus;
    Format m_format;
    quint64 m_generation = 0;
    QString m_lastSymbol;
    QString m_lastLine;
};

// Without a title: the format's empty form if it has one (a panel would draw the error), else
// the reason on standard error.
int unreachable(Format format, const QString& why) {
    const QString line = unreachableTitle(format, why);
    if (line.isNull()) {
        printError(why);
        return notRunning;
    }
    printLine(line);
    return ok;
}

int run(QDBusConnection& bus, const QCommandLineParser& parser, Format format) {
    const bool activate = parser.isSet(u"activate"_s);
    if (!bus.isConnected()) {
        return unreachable(activate ? Format::plain : format,
                           u"Mintlux is not running (no D-Bus session bus)"_s);
    }
    registerTitleTypes();

    if (parser.isSet(u"follow"_s)) {
        Follower follower(bus, format);
        return QCoreApplication::exec();
    }
    if (activate) {
        QDBusMessage call = titleCall(u"Activate"_s);
        call << -1 << -1;
        const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            printError(whyUnreachable(reply));
            return notRunning;
        }
        return ok;
    }
    const QDBusMessage reply = bus.call(titleCall(u"GetTitle"_s), QDBus::Block, kCallTimeoutMs);
    const auto state =
        reply.type() == QDBusMessage::ReplyMessage ? stateFrom(reply.arguments()) : std::nullopt;
    if (!state) {
        return unreachable(format, reply.type() == QDBusMessage::ReplyMessage
                                       ? u"Mintlux answered with something unexpected"_s
                                       : whyUnreachable(reply));
    }
    printLine(formatTitle(*state, format));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"mintlux-title"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(MINTLUX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Prints the title of the running Mintlux for panels and bars."_s);
    parser.addOption({u"format"_s, u"plain (default), pango, waybar, genmon or polybar."_s,
                      u"format"_s, u"plain"_s});
    parser.addOption({u"follow"_s, u"Print a line each time the title changes, until stopped."_s});
    parser.addOption({u"activate"_s, u"Open Mintlux's popup, then exit."_s});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        return usage;
    }
    if (parser.isSet(help) || parser.isSet(u"help-all"_s)) {
        printLine(parser.helpText().trimmed());
        return ok;
    }
    if (parser.isSet(version)) {
        printLine(u"mintlux-title "_s + QCoreApplication::applicationVersion());
        return ok;
    }
    const auto format = formatFromName(parser.value(u"format"_s));
    if (!format) {
        printError(u"unknown format \""_s + parser.value(u"format"_s) +
                   u"\"; use plain, pango, waybar, genmon or polybar"_s);
        return usage;
    }
    if (!parser.positionalArguments().isEmpty() ||
        (parser.isSet(u"follow"_s) && parser.isSet(u"activate"_s))) {
        printError(u"unexpected arguments; see --help"_s);
        return usage;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    const int status = run(bus, parser, *format);
    // Qt's D-Bus thread may still be decoding a late message (the bus's own greeting) while the
    // statics go, and then warns on stderr; a one-shot has nothing left to clean up.
    std::fflush(nullptr);
    std::_Exit(status);
}

#include "main.moc"
