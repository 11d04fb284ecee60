#pragma once

#include "platform/SniStatusItem.h"
#include "platform/StatusItem.h"

#include <chrono>
#include <memory>

#include <QDBusConnection>
#include <QPointer>
#include <QTimer>

namespace mintlux {

class NoTrayNotice;
class XEmbedStatusItem;

struct StatusItemOptions {
    QDBusConnection bus = QDBusConnection::sessionBus();
    SniStatusItem::IconStyle iconStyle =
        SniStatusItem::iconStyleForDesktop(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    // At log-in the panel may start after us; only a status area still missing after this
    // long is worth telling the user about.
    std::chrono::milliseconds noticeDelay{8000};
    bool allowXEmbed = true;
};

// The status item the application uses: a StatusNotifierItem where a watcher hosts it, else a
// window in the X11 system tray, else a one-time notice that there is no status area. It
// follows panels that start late, restart or go away, and steps aside while another program
// shows the title.
class DesktopStatusItem : public StatusItem {
    Q_OBJECT

public:
    explicit DesktopStatusItem(StatusItemOptions options = {}, QObject* parent = nullptr);
    ~DesktopStatusItem() override;

    void setStyledTitle(const StyledTitle& title) override;
    StyledTitle title() const override { return m_title; }
    QRect anchorRect() const override;
    Presence presence() const override;

    // Which mechanism currently shows the item (none while waiting).
    enum class Backend { none, statusNotifier, xembed };
    Backend activeBackend() const;
    // The notice window, while it is open.
    QWidget* notice() const;

private:
    void toolTipTextChanged(Announce announce) override;
    void discreetCheckedChanged() override;
    void reevaluate();
    void showNoticeIfStillAlone();
    void updatePresence();
    void createSni();
    void setShownElsewhere(bool shown);

    StatusItemOptions m_options;
    StyledTitle m_title;
    std::unique_ptr<SniStatusItem> m_sni;
    std::unique_ptr<XEmbedStatusItem> m_xembed;
    bool m_sniPending = false;
    bool m_noticeShown = false;
    // Another program (a panel extension, mintlux-title --follow) shows the title itself.
    bool m_shownElsewhere = false;
    QPointer<NoTrayNotice> m_notice;
    QTimer m_noticeTimer;
    Presence m_presence = Presence::waiting;
};

// Chooses and creates the status item for this desktop.
std::unique_ptr<StatusItem> createStatusItem(StatusItemOptions options = {});

}  // namespace mintlux
