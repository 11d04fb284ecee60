#pragma once

#include "platform/DBusTypes.h"
#include "platform/StatusItem.h"
#include "platform/TitleRenderer.h"

#include <chrono>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace mintlux {

class DBusMenuExporter;

// The status item as a StatusNotifierItem on the session bus, with its own menu. It registers
// with the StatusNotifierWatcher whenever one owns its name: at start, when a panel starts
// after us, and again after a panel restart; until the watcher lists it, it tries again.
class SniStatusItem : public StatusItem {
    Q_OBJECT

public:
    enum class IconStyle {
        title,    // the whole styled title, for hosts that keep the icon's aspect ratio
        compact,  // metal symbol and direction in a square, for hosts that force squares
        mark,     // the direction alone, for hosts that print the label beside the icon
    };

    static constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
    static constexpr const char* kItemPath = "/StatusNotifierItem";
    static constexpr const char* kMenuPath = "/MenuBar";
    // The menu id of the discreet mode check entry.
    static constexpr int kDiscreetEntry = 2;
    static constexpr int kIconHeights[] = {22, 44};
    // Between registrations the watcher took without listing the item.
    static constexpr std::chrono::milliseconds kFirstRetry{250};
    static constexpr std::chrono::milliseconds kLongestRetry{30000};
    // A host that has just seen the item registered may still be setting it up: GNOME Shell's
    // indicator can miss a label change made then and show the icon alone until the next one.
    // A change this soon after registering is told again once this has passed.
    static constexpr std::chrono::milliseconds kHostSettling{3000};

    // The icon style suiting a desktop named as in $XDG_CURRENT_DESKTOP (colon-separated).
    static IconStyle iconStyleForDesktop(QStringView desktops);

    // Throws std::runtime_error when the bus is unusable or already carries an item.
    explicit SniStatusItem(QDBusConnection bus, IconStyle style = IconStyle::title,
                           QObject* parent = nullptr);
    ~SniStatusItem() override;

    void setStyledTitle(const StyledTitle& title) override;
    StyledTitle title() const override { return m_title; }
    QRect anchorRect() const override { return m_anchor; }
    Presence presence() const override;

    void setIconStyle(IconStyle style);
    IconStyle iconStyle() const { return m_style; }

    QString serviceName() const { return m_serviceName; }

    // Property values as the bus sees them.
    QString plainTitle() const { return m_title.text; }
    QString label() const { return m_title.text; }
    QString labelGuide() const { return TitleRenderer::widthGuide(m_title.text); }
    const SniIconPixmapList& iconPixmaps() const { return m_pixmaps; }
    SniToolTip toolTip() const;

    // Entry points of the item's D-Bus methods.
    void activateFromHost(int x, int y);
    void openMenuFromHost(int x, int y);

signals:
    // Each registration attempt has its answer, successful or not.
    void registrationSettled();

private slots:
    void onHostRegistered();
    void onHostUnregistered();
    void onItemUnregistered(const QString& entry);

private:
    void toolTipTextChanged(Announce announce) override;
    void discreetCheckedChanged() override;
    void onWatcherOwnerChanged(const QString& newOwner);
    void registerWithWatcher();
    void confirmListed(quint64 attempt);
    void queryHost(quint64 attempt);
    void retryLater();
    QDBusPendingCallWatcher* watcherProperty(const QString& name);
    bool isUs(const QString& entry) const;
    void setState(bool registered, bool hostPresent);
    void announceTitle();
    void renderIcons();
    QRect anchorFor(int x, int y) const;

    QDBusConnection m_bus;
    QString m_serviceName;
    IconStyle m_style;
    TitleRenderer m_renderer;
    StyledTitle m_title;
    SniIconPixmapList m_pixmaps;
    QRect m_anchor;
    QObject* m_exported = nullptr;
    class StatusNotifierItemAdaptor* m_adaptor = nullptr;
    DBusMenuExporter* m_menu = nullptr;
    QDBusServiceWatcher* m_watcher = nullptr;
    quint64 m_attempt = 0;
    QTimer m_retry;
    std::chrono::milliseconds m_retryDelay = kFirstRetry;
    QElapsedTimer m_sinceRegistering;  // the last attempt
    QTimer m_announceAgain;
    bool m_registered = false;
    bool m_hostPresent = false;
};

}  // namespace mintlux
