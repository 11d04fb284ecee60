#include "platform/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mintlux;
using namespace Qt::StringLiterals;

namespace {

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class LoginItemTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString autostart = home.filePath(u"config/autostart"_s);
};

}  // namespace

TEST_F(LoginItemTest, RegisteringWritesAnEntryForTheRunningBinaryOrReplacesItUnregisterRemovesIt) {
    XdgAutostartLoginItem item(autostart);
    EXPECT_FALSE(item.isRegistered());
    item.registerAtLogin();

    EXPECT_EQ(item.filePath(), autostart + u"/mintlux.desktop"_s);
    EXPECT_TRUE(item.isRegistered());
    const QStringList lines = readAll(item.filePath()).split(u'\n');
    EXPECT_EQ(lines.first(), u"[Desktop Entry]"_s);
    for (const char* line :
         {"Type=Application", "Name=Mintlux", "X-GNOME-Autostart-enabled=true",
          "X-KDE-autostart-after=panel", "X-LXQt-Need-Tray=true", "Terminal=false"}) {
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line;
    }
    EXPECT_TRUE(lines.contains(
        u"Exec="_s + XdgAutostartLoginItem::execValue(QCoreApplication::applicationFilePath())));
    // Written through a temporary file renamed into place: nothing else is left behind.
    EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"mintlux.desktop"_s});
    // The desktop's own validator has nothing to say about it.
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(u"desktop-file-validate"_s, {item.filePath()});
    ASSERT_TRUE(validate.waitForFinished()) << "desktop-file-validate (desktop-file-utils)";
    EXPECT_EQ(validate.exitCode(), 0);
    EXPECT_EQ(validate.readAll(), QByteArray());

    XdgAutostartLoginItem moved(autostart, u"/usr/bin/mintlux"_s);
    moved.registerAtLogin();
    moved.registerAtLogin();
    EXPECT_TRUE(readAll(moved.filePath()).contains(u"Exec=/usr/bin/mintlux\n"_s));

    // Entries the user switched off do not count; keys of other groups do not apply.
    for (const char* extra : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        writeFile(item.filePath(), QByteArray("[Desktop Entry]\nType=Application\n") + extra);
        EXPECT_FALSE(item.isRegistered()) << extra;
    }
    writeFile(item.filePath(), "[Other]\nHidden=true\n[Desktop Entry]\nType=Application\n");
    EXPECT_TRUE(item.isRegistered());

    moved.unregisterAtLogin();
    EXPECT_FALSE(QFile::exists(moved.filePath()));
    EXPECT_FALSE(item.isRegistered());
    EXPECT_NO_THROW(moved.unregisterAtLogin());
}

TEST_F(LoginItemTest, FailuresCarryAReadableDescription) {
    // Permission bits do not stop root, which CI runs as; these obstacles stop everyone.
    const QString aFile = home.filePath(u"not-a-folder"_s);
    writeFile(aFile, "x");
    const QString blockedEntryDir = home.filePath(u"blocked"_s);
    QDir().mkpath(blockedEntryDir + u"/mintlux.desktop/keep"_s);

    const QString entryDir = blockedEntryDir + u"/mintlux.desktop"_s;
    struct Case {
        QString dir;
        bool unregister;
        QStringList mentions;
    };
    const std::vector<Case> cases{
        // The autostart folder below a file, the folder itself a file, the entry's name taken by
        // a folder, and that folder in the way of unregistering.
        {aFile + u"/autostart"_s, false, {aFile + u"/autostart"_s, u"Not a directory"_s}},
        {aFile, false, {aFile}},
        {blockedEntryDir, false, {entryDir}},
        {blockedEntryDir, true, {entryDir}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir.toStdString() + (c.unregister ? " (unregister)" : ""));
        XdgAutostartLoginItem item(c.dir);
        try {
            c.unregister ? item.unregisterAtLogin() : item.registerAtLogin();
            ADD_FAILURE() << "no error";
        } catch (const LoginItemError& e) {
            const QString what = QString::fromUtf8(e.what());
            EXPECT_TRUE(what.startsWith(u"Cannot "_s)) << e.what();
            EXPECT_TRUE(what.endsWith(u'.')) << e.what();
            for (const QString& m : c.mentions) {
                EXPECT_TRUE(what.contains(m)) << e.what() << " lacks " << m.toStdString();
            }
        }
    }
}

TEST(LoginItemPaths, ExecValuesAreEscapedAsDesktopEntriesRequireAndTheFolderFollowsXdg) {
    const std::vector<std::pair<QString, QString>> cases{
        {"/usr/bin/mintlux", "/usr/bin/mintlux"},
        {"/home/ann/My Apps/mintlux", "\"/home/ann/My Apps/mintlux\""},
        {"/opt/$HOME/mintlux", "\"/opt/\\\\$HOME/mintlux\""},
        {"/opt/a\"b/mintlux", "\"/opt/a\\\\\"b/mintlux\""},
        {"/opt/100%/mintlux", "/opt/100%%/mintlux"},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
        {"/opt/tick`s", "\"/opt/tick\\\\`s\""},
    };
    for (const auto& [program, expected] : cases) {
        EXPECT_EQ(XdgAutostartLoginItem::execValue(program), expected) << program.toStdString();
    }

    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    EXPECT_EQ(XdgAutostartLoginItem::defaultAutostartDir(), config.path() + "/autostart");
    qputenv("XDG_CONFIG_HOME", saved);
}
