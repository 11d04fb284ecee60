#include "ServiceOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

namespace mintlux::server {

QString ServiceOptions::defaultDatabasePath(const QString& source) {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(dir).filePath(source == QLatin1String("synthetic")
                                  ? QStringLiteral("mintlux/pricing-synthetic.sqlite")
                                  : QStringLiteral("mintlux/pricing.sqlite"));
}

bool ServiceOptions::parseListen(const QString& text, QHostAddress& address, quint16& port) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) {
        return false;
    }
    QString host = text.first(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) {
        host = host.sliced(1, host.size() - 2);
    } else if (host.contains(u':')) {
        return false;  // an IPv6 address needs its brackets
    }
    bool ok = false;
    const uint p = text.sliced(colon + 1).toUInt(&ok);
    QHostAddress parsed;
    if (!ok || p > 65535 || !parsed.setAddress(host)) {
        return false;
    }
    address = parsed;
    port = static_cast<quint16>(p);
    return true;
}

std::optional<ServiceOptions> ServiceOptions::parse(const QStringList& arguments, QString& error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Mintlux pricing service: polls the metal and FX upstreams, records history and serves "
        "/v1/prices, /v1/history and /healthz. Under systemd it also takes a socket-activated "
        "listening socket, which then replaces --listen."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Address and port to listen on."),
                                    QStringLiteral("host:port"), QStringLiteral("127.0.0.1:47190"));
    const QCommandLineOption db(
        QStringLiteral("db"),
        QStringLiteral("SQLite database (default: $XDG_DATA_HOME/mintlux/pricing.sqlite; "
                       "pricing-synthetic.sqlite with --source synthetic)."),
        QStringLiteral("path"));
    const QCommandLineOption source(
        QStringLiteral("source"),
        QStringLiteral("live: the real upstreams; synthetic: a random walk for machines "
                       "without internet (demo)."),
        QStringLiteral("live|synthetic"), QStringLiteral("live"));
    parser.addOptions({listen, db, source});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp(0);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return std::nullopt;
    }
    ServiceOptions out;
    if (!parseListen(parser.value(listen), out.address, out.port)) {
        error = QStringLiteral("--listen wants host:port, e.g. 127.0.0.1:47190");
        return std::nullopt;
    }
    out.source = parser.value(source);
    if (out.source != QLatin1String("live") && out.source != QLatin1String("synthetic")) {
        error = QStringLiteral("--source is live or synthetic");
        return std::nullopt;
    }
    out.databasePath = parser.isSet(db) ? parser.value(db) : defaultDatabasePath(out.source);
    return out;
}

}  // namespace mintlux::server
