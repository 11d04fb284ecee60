#pragma once

#include <memory>

#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace mintlux {

struct WindowOptions {
    QString title;
    QSize contentSize;
    bool resizable = false;
    QSize minimumSize;  // empty: the content size when not resizable, none otherwise
};

// Sets the application's window icon, once: decoding it costs memory a status item that never
// opens a window has no use for.
void useApplicationWindowIcon();

// Turns `window` into an application window: titled, closable, minimisable, optionally
// resizable, centred, and kept when closed so the next show reuses it. Closing it never ends
// the application, which lives in the status area.
void configureWindow(QWidget& window, const WindowOptions& options);

// Replaces the window's whole content; the previous content is discarded.
void setWindowContent(QWidget& window, std::unique_ptr<QWidget> content);

// Centres `size` in `available`, keeping it inside when it fits and its top-left corner
// visible when it does not.
QRect centredRect(const QSize& size, const QRect& available);
void centreWindow(QWidget& window);

// Bringing windows to the user, for an application that has no main window.
class WindowActivator {
public:
    virtual ~WindowActivator() = default;
    // Shows the window (restoring it when minimised), raises it and gives it the keyboard.
    virtual void makeKeyAndOrderFront(QWidget& window) = 0;
    // Brings the application's visible windows to the front, the active one last.
    virtual void activateApplication() = 0;
};

class QtWindowActivator : public WindowActivator {
public:
    void makeKeyAndOrderFront(QWidget& window) override;
    void activateApplication() override;
};

}  // namespace mintlux
