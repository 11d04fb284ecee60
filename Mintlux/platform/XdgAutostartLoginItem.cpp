#include "platform/XdgAutostartLoginItem.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace mintlux {

namespace {

const QString kFileName = QStringLiteral("mintlux.desktop");

// Characters that make the desktop-entry rules require a quoted argument.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

QString tr(const char* text) {
    return QCoreApplication::translate("LoginItem", text);
}

// The general escapes every string value of a desktop entry goes through.
QString escapeValue(const QString& text) {
    QString out;
    for (QChar c : text) {
        switch (c.unicode()) {
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '\t':
                out += QStringLiteral("\\t");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

QString XdgAutostartLoginItem::defaultAutostartDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

XdgAutostartLoginItem::XdgAutostartLoginItem(QString autostartDir, QString executable)
    : m_dir(std::move(autostartDir)),
      m_executable(executable.isEmpty() ? QCoreApplication::applicationFilePath()
                                        : std::move(executable)) {}

QString XdgAutostartLoginItem::filePath() const {
    return QDir(m_dir).filePath(kFileName);
}

QString XdgAutostartLoginItem::execValue(const QString& program) {
    QString arg = program;
    if (std::any_of(arg.cbegin(), arg.cend(), [](QChar c) { return kReserved.contains(c); })) {
        QString quoted = QStringLiteral("\"");
        for (QChar c : arg) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                quoted += u'\\';
            }
            quoted += c;
        }
        arg = quoted + u'"';
    }
    arg.replace(u'%', QStringLiteral("%%"));
    return escapeValue(arg);
}

QString XdgAutostartLoginItem::entryText() const {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Version=1.4\n"
               "Name=Mintlux\n"
               "Comment=Precious-metal spot prices in the status area\n"
               "Exec=") +
           execValue(m_executable) +
           QStringLiteral(
               "\n"
               "Icon=MintluxIcon\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n"
               "X-KDE-autostart-after=panel\n"
               "X-LXQt-Need-Tray=true\n");
}

void XdgAutostartLoginItem::registerAtLogin() {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_dir.toStdString()), ec);
    if (ec) {
        throw LoginItemError(
            tr("Cannot create the autostart folder %1: %2.")
                .arg(QDir::toNativeSeparators(m_dir), QString::fromStdString(ec.message())));
    }
    QSaveFile file(filePath());
    const QByteArray bytes = entryText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw LoginItemError(tr("Cannot write %1: %2.")
                                 .arg(QDir::toNativeSeparators(filePath()), file.errorString()));
    }
}

void XdgAutostartLoginItem::unregisterAtLogin() {
    const std::filesystem::path path(filePath().toStdString());
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        return;
    }
    QFile file(filePath());
    if (!file.remove()) {
        throw LoginItemError(tr("Cannot remove %1: %2.")
                                 .arg(QDir::toNativeSeparators(filePath()), file.errorString()));
    }
}

bool XdgAutostartLoginItem::isRegistered() const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry) {
            continue;
        }
        const QString key = line.section(u'=', 0, 0).trimmed();
        const QString value = line.section(u'=', 1).trimmed();
        if ((key == QLatin1String("Hidden") && value == QLatin1String("true")) ||
            (key == QLatin1String("X-GNOME-Autostart-enabled") &&
             value == QLatin1String("false"))) {
            return false;
        }
    }
    return true;
}

}  // namespace mintlux
