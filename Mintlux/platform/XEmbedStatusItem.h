#pragma once

#include "platform/StatusItem.h"
#include "platform/TitleRenderer.h"

#include <memory>

#include <QAbstractNativeEventFilter>
#include <QTimer>

class QAction;
class QMenu;

namespace mintlux {

class TrayWindow;

// The status item as a window docked into an X11 system tray (the XEmbed tray protocol), for
// panels without a StatusNotifierWatcher. The window is as wide as the title; a tray that
// squeezes it into a square gets the compact icon instead. It docks again whenever a tray
// (re)appears.
class XEmbedStatusItem : public StatusItem, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // True when the application runs on X11 and some client owns the tray selection.
    static bool trayAvailable();

    // Throws std::runtime_error when the application does not run on X11.
    explicit XEmbedStatusItem(QObject* parent = nullptr);
    ~XEmbedStatusItem() override;

    void setStyledTitle(const StyledTitle& title) override;
    StyledTitle title() const override;
    QRect anchorRect() const override;  // the docked window's global geometry
    Presence presence() const override { return m_docked ? Presence::shown : Presence::waiting; }

    // The native window id of the docked window.
    quintptr windowId() const;
    // What a right press on the item opens.
    QMenu* menu() const { return m_menu.get(); }
    TrayWindow* window() const { return m_window; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void toolTipTextChanged(Announce announce) override;
    void discreetCheckedChanged() override;
    void buildMenu();
    void createWindow(const StyledTitle& title);
    void recreateWindow();
    void dock();
    void scheduleRetry();
    void setDocked(bool docked);

    struct X11;
    std::unique_ptr<X11> m_x;
    TrayWindow* m_window = nullptr;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_discreet = nullptr;
    bool m_docked = false;
    QTimer m_retry;
    int m_dockAttempts = 0;
};

}  // namespace mintlux
