#pragma once

#include "platform/LoginItem.h"

#include <QString>

namespace mintlux {

// Registration through the XDG autostart convention: a desktop entry named mintlux.desktop in
// the user's autostart folder, which every freedesktop session starts at log-in.
class XdgAutostartLoginItem : public LoginItem {
public:
    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that is unset.
    static QString defaultAutostartDir();
    // `executable` is what the entry starts: the running binary unless a test says otherwise.
    explicit XdgAutostartLoginItem(QString autostartDir = defaultAutostartDir(),
                                   QString executable = {});

    void registerAtLogin() override;
    void unregisterAtLogin() override;
    // An entry the user switched off in the desktop's settings does not count.
    bool isRegistered() const override;

    QString filePath() const;
    QString entryText() const;

    // The program path as an Exec value: quoted where the desktop-entry rules require it.
    static QString execValue(const QString& program);

private:
    QString m_dir;
    QString m_executable;
};

}  // namespace mintlux
