#include "platform/Windows.h"

#include <algorithm>

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLayout>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace mintlux {

void useApplicationWindowIcon() {
    static bool set = false;
    if (set) {
        return;
    }
    set = true;
    // The compiled-in image stands in where the icon theme lacks the app's icon.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("MintluxIcon"),
                                                 QIcon(QStringLiteral(":/MintluxIcon.png"))));
}

void configureWindow(QWidget& window, const WindowOptions& options) {
    useApplicationWindowIcon();
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                            Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint;
    if (options.resizable) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    window.setWindowFlags(flags);
    window.setWindowTitle(options.title);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setAttribute(Qt::WA_QuitOnClose, false);
    if (options.resizable) {
        window.setMinimumSize(options.minimumSize);
        window.resize(options.contentSize.expandedTo(options.minimumSize));
    } else {
        window.setFixedSize(options.contentSize);
    }
    centreWindow(window);
}

void setWindowContent(QWidget& window, std::unique_ptr<QWidget> content) {
    QLayout* layout = window.layout();
    if (layout == nullptr) {
        layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* old = item->widget()) {
            old->hide();
            old->deleteLater();  // the old content may be running the code that replaces it
        }
        delete item;
    }
    if (content) {
        QWidget* widget = content.release();
        layout->addWidget(widget);
        if (window.isVisible()) {
            widget->show();
        }
    }
}

QRect centredRect(const QSize& size, const QRect& available) {
    QRect rect(QPoint(), size);
    rect.moveCenter(available.center());
    rect.moveLeft(
        std::max(available.left(), std::min(rect.left(), available.right() + 1 - size.width())));
    rect.moveTop(
        std::max(available.top(), std::min(rect.top(), available.bottom() + 1 - size.height())));
    return rect;
}

void centreWindow(QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    window.move(centredRect(window.frameGeometry().size(), screen->availableGeometry()).topLeft());
}

void QtWindowActivator::makeKeyAndOrderFront(QWidget& window) {
    if (window.isMinimized()) {
        window.showNormal();
    } else {
        window.show();
    }
    window.raise();
    window.activateWindow();
}

void QtWindowActivator::activateApplication() {
    QWidget* active = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w != active && w->windowType() != Qt::Popup &&
            w->windowType() != Qt::ToolTip) {
            w->raise();
        }
    }
    if (active != nullptr) {
        active->raise();
        active->activateWindow();
        return;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowType() == Qt::Window) {
            w->activateWindow();
            return;
        }
    }
}

}  // namespace mintlux
