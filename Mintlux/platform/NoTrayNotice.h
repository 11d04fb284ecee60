#pragma once

#include <functional>

#include <QWidget>

namespace mintlux {

// The small window that tells the user there is no status area to show the item in, and what
// to install, instead of leaving the application running invisibly.
class NoTrayNotice : public QWidget {
    Q_OBJECT

public:
    // `desktop` as in $XDG_CURRENT_DESKTOP; it picks the advice that fits.
    NoTrayNotice(const QString& desktop, std::function<void()> onQuit);

    static QString advice(const QString& desktop);
};

}  // namespace mintlux
