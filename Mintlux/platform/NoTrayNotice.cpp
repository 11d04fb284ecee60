#include "platform/NoTrayNotice.h"

#include "platform/Windows.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace mintlux {

QString NoTrayNotice::advice(const QString& desktop) {
    const QString upper = desktop.toUpper();
    QString how;
    // Each desktop's own way of showing the title, which also works without any status area.
    if (upper.contains(QLatin1String("GNOME")) || upper.contains(QLatin1String("UNITY"))) {
        how = QObject::tr(
            "Turn on the Mintlux GNOME Shell extension, which comes with Mintlux, in the "
            "Extensions app: it shows the price in the top bar. (The extension “AppIndicator and "
            "KStatusNotifierItem Support”, package gnome-shell-extension-appindicator, gives "
            "Mintlux a status area too.)");
    } else if (upper.contains(QLatin1String("KDE"))) {
        how = QObject::tr(
            "Add the “Mintlux” widget to a panel (right-click the panel, Add Widgets): it shows "
            "the price in the panel.");
    } else if (upper.contains(QLatin1String("XFCE"))) {
        how = QObject::tr(
            "Add a “Generic Monitor” to a panel (package xfce4-genmon-plugin) with the command "
            "“mintlux-title --format genmon”: it shows the price in the panel.");
    } else {
        how = QObject::tr(
            "A status bar such as waybar, polybar or i3blocks can show the price with the "
            "command “mintlux-title” (see mintlux-title --help); or add a system tray to "
            "your panel.");
    }
    return QObject::tr(
               "Mintlux shows its prices in the status area of a panel, but this desktop has "
               "none that Mintlux can use.") +
           QStringLiteral("\n\n") + how + QStringLiteral("\n\n") +
           QObject::tr(
               "Mintlux keeps running and its item appears as soon as a status area "
               "does.");
}

NoTrayNotice::NoTrayNotice(const QString& desktop, std::function<void()> onQuit)
    : QWidget(nullptr, Qt::Dialog) {
    setObjectName(QStringLiteral("MintluxNoStatusArea"));
    setWindowTitle(tr("Mintlux: no status area"));
    useApplicationWindowIcon();
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* text = new QLabel(advice(desktop));
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32));
    icon->setAlignment(Qt::AlignTop);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    QPushButton* quit = buttons->addButton(tr("Quit Mintlux"), QDialogButtonBox::RejectRole);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    connect(quit, &QPushButton::clicked, this, [this, onQuit = std::move(onQuit)] {
        close();
        if (onQuit) {
            onQuit();
        }
    });

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(buttons);
    setFixedWidth(420);
    ok->setDefault(true);
    adjustSize();
    centreWindow(*this);
}

}  // namespace mintlux
