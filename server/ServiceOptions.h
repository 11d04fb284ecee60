#pragma once

#include <optional>

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace mintlux::server {

// The command line of mintlux-pricing.
struct ServiceOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 47190;
    QString databasePath;  // defaulted per source when not given
    QString source = QStringLiteral("live");

    // Exits for --help; on a bad option, `error` says why and nothing is returned.
    static std::optional<ServiceOptions> parse(const QStringList& arguments, QString& error);
    // $XDG_DATA_HOME/mintlux/pricing.sqlite, or pricing-synthetic.sqlite for the demo.
    static QString defaultDatabasePath(const QString& source);
    // "127.0.0.1:47190" or "[::1]:47190".
    static bool parseListen(const QString& text, QHostAddress& address, quint16& port);
};

}  // namespace mintlux::server
