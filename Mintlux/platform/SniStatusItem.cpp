#include "platform/SniStatusItem.h"

#include "platform/DBusMenuExporter.h"
#include "platform/StatusNotifierItemAdaptor.h"

#include <algorithm>
#include <stdexcept>

#include <QCoreApplication>
#include <QCursor>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace mintlux {

namespace {

constexpr const char* kWatcherInterface = "org.kde.StatusNotifierWatcher";

QString q(const char* s) {
    return QString::fromLatin1(s);
}

}  // namespace

SniStatusItem::IconStyle SniStatusItem::iconStyleForDesktop(QStringView desktops) {
    // These hosts draw every item into a square; GNOME's and Unity's print the label beside the
    // icon, so there the icon adds only what the plain label lacks: the coloured direction.
    static const QStringList square{u"KDE"_s, u"XFCE"_s, u"LXQT"_s, u"LXDE"_s, u"BUDGIE"_s};
    static const QStringList labelled{u"GNOME"_s, u"UNITY"_s, u"UBUNTU"_s};
    for (QStringView desktop : desktops.split(u':', Qt::SkipEmptyParts)) {
        const QString name = desktop.trimmed().toString().toUpper();
        if (square.contains(name)) {
            return IconStyle::compact;
        }
        if (labelled.contains(name)) {
            return IconStyle::mark;
        }
    }
    return IconStyle::title;
}

SniStatusItem::SniStatusItem(QDBusConnection bus, IconStyle style, QObject* parent)
    : StatusItem(parent),
      m_bus(std::move(bus)),
      m_style(style),
      m_renderer(QGuiApplication::font()) {
    registerDBusTypes();
    if (!m_bus.isConnected()) {
        throw std::runtime_error("No D-Bus session bus: " +
                                 m_bus.lastError().message().toStdString());
    }
    static int instances = 0;
    m_serviceName = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++instances);

    m_exported = new QObject(this);
    m_adaptor = new StatusNotifierItemAdaptor(m_exported, this);
    m_menu = new DBusMenuExporter(
        {{tr("Show prices"), {}, [this] { requestShowPrices(); }, {}},
         {tr("Discreet mode"),
          {},
          [this] { requestDiscreet(!isDiscreetChecked()); },
          isDiscreetChecked()},
         {{}, {}, {}, {}},
         {tr("Quit Mintlux"), u"application-exit"_s, [this] { requestQuit(); }, {}}},
        this);
    const bool itemExported =
        m_bus.registerObject(q(kItemPath), m_exported, QDBusConnection::ExportAdaptors);
    const bool menuExported =
        itemExported && m_bus.registerObject(q(kMenuPath), m_menu, QDBusConnection::ExportAdaptors);
    if (!menuExported || !m_bus.registerService(m_serviceName)) {
        const QString why = m_bus.lastError().isValid()
                                ? m_bus.lastError().message()
                                : u"another status item uses this connection"_s;
        // Only what we registered: the paths may belong to that other item.
        if (menuExported) {
            m_bus.unregisterObject(q(kMenuPath));
        }
        if (itemExported) {
            m_bus.unregisterObject(q(kItemPath));
        }
        throw std::runtime_error("Cannot publish the status item on D-Bus: " + why.toStdString());
    }
    renderIcons();

    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &SniStatusItem::registerWithWatcher);
    m_announceAgain.setSingleShot(true);
    connect(&m_announceAgain, &QTimer::timeout, this, &SniStatusItem::announceTitle);
    m_watcher = new QDBusServiceWatcher(q(kWatcherService), m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                onWatcherOwnerChanged(newOwner);
            });
    m_bus.connect(q(kWatcherService), q(kWatcherPath), q(kWatcherInterface),
                  u"StatusNotifierHostRegistered"_s, this, SLOT(onHostRegistered()));
    m_bus.connect(q(kWatcherService), q(kWatcherPath), q(kWatcherInterface),
                  u"StatusNotifierHostUnregistered"_s, this, SLOT(onHostUnregistered()));
    m_bus.connect(q(kWatcherService), q(kWatcherPath), q(kWatcherInterface),
                  u"StatusNotifierItemUnregistered"_s, this, SLOT(onItemUnregistered(QString)));
    registerWithWatcher();
}

SniStatusItem::~SniStatusItem() {
    m_bus.disconnect(q(kWatcherService), q(kWatcherPath), q(kWatcherInterface),
                     u"StatusNotifierHostRegistered"_s, this, SLOT(onHostRegistered()));
    m_bus.disconnect(q(kWatcherService), q(kWatcherPath), q(kWatcherInterface),
                     u"StatusNotifierHostUnregistered"_s, this, SLOT(onHostUnregistered()));
    m_bus.disconnect(q(kWatcherService), q(kWatcherPath), q(kWatcherInterface),
                     u"StatusNotifierItemUnregistered"_s, this, SLOT(onItemUnregistered(QString)));
    // Dropping the name is what tells the watcher the item is gone.
    m_bus.unregisterService(m_serviceName);
    m_bus.unregisterObject(q(kItemPath));
    m_bus.unregisterObject(q(kMenuPath));
}

StatusItem::Presence SniStatusItem::presence() const {
    return m_registered && m_hostPresent ? Presence::shown : Presence::waiting;
}

void SniStatusItem::setStyledTitle(const StyledTitle& title) {
    if (title == m_title) {
        return;
    }
    const bool textChanged = title.text != m_title.text;
    m_title = title;
    renderIcons();
    emit m_adaptor->NewIcon();
    if (textChanged) {
        emit m_adaptor->NewTitle();
        emit m_adaptor->NewToolTip();
        emit m_adaptor->XAyatanaNewLabel(label(), labelGuide());
        if (m_sinceRegistering.isValid() && m_sinceRegistering.elapsed() < kHostSettling.count()) {
            m_announceAgain.start(kHostSettling);
        }
    }
}

void SniStatusItem::announceTitle() {
    emit m_adaptor->NewIcon();
    emit m_adaptor->NewTitle();
    emit m_adaptor->NewToolTip();
    // Hosts take the label from the signal and drop one equal to what they hold, shown or not:
    // an empty one first makes the real one a change. The property itself never changes, and
    // a host batching updates shows only the last.
    emit m_adaptor->XAyatanaNewLabel(QString(), labelGuide());
    emit m_adaptor->XAyatanaNewLabel(label(), labelGuide());
}

void SniStatusItem::setIconStyle(IconStyle style) {
    if (style == m_style) {
        return;
    }
    m_style = style;
    renderIcons();
    emit m_adaptor->NewIcon();
}

void SniStatusItem::toolTipTextChanged(Announce announce) {
    if (announce == Announce::yes) {
        emit m_adaptor->NewToolTip();
    }
}

SniToolTip SniStatusItem::toolTip() const {
    return SniToolTip{{}, {}, m_title.text, toolTipText()};
}

void SniStatusItem::renderIcons() {
    const TitleColors colors = TitleColors::forUnknownBackground();
    m_pixmaps.clear();
    for (int height : kIconHeights) {
        QImage image;
        switch (m_style) {
            case IconStyle::title:
                image = m_renderer.renderTitle(m_title, height, colors);
                break;
            case IconStyle::compact:
                image = m_renderer.renderCompactIcon(m_title, height, colors);
                break;
            case IconStyle::mark:
                image = m_renderer.renderMarkIcon(m_title, height, colors);
                break;
        }
        m_pixmaps.append(SniIconPixmap::fromImage(image));
    }
}

QRect SniStatusItem::anchorFor(int x, int y) const {
    if (x != 0 || y != 0) {
        return QRect(x, y, 1, 1);
    }
    // Hosts that send no position: the pointer is on the item at the moment of the click,
    // except on Wayland, where a client cannot read it.
    if (!QGuiApplication::platformName().startsWith(u"wayland"_s)) {
        const QPoint pointer = QCursor::pos();
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->geometry().contains(pointer)) {
                return QRect(pointer, QSize(1, 1));
            }
        }
    }
    return {};
}

void SniStatusItem::discreetCheckedChanged() {
    m_menu->setChecked(kDiscreetEntry, isDiscreetChecked());
}

void SniStatusItem::activateFromHost(int x, int y) {
    m_anchor = anchorFor(x, y);
    const QPoint point = m_anchor.isNull() ? QPoint(x, y) : m_anchor.topLeft();
    // After the reply: the handler may open a popup grabbing the pointer or destroy the item.
    QMetaObject::invokeMethod(
        this, [this, point] { activate(point); }, Qt::QueuedConnection);
}

void SniStatusItem::openMenuFromHost(int x, int y) {
    // The popup holds every command of the menu, so it serves as the context menu too.
    activateFromHost(x, y);
}

void SniStatusItem::onWatcherOwnerChanged(const QString& newOwner) {
    m_retry.stop();
    m_retryDelay = kFirstRetry;
    if (newOwner.isEmpty()) {
        ++m_attempt;  // replies still on their way belong to the watcher that left
        setState(false, false);
    } else {
        registerWithWatcher();
    }
}

void SniStatusItem::registerWithWatcher() {
    m_retry.stop();
    m_sinceRegistering.start();
    const quint64 attempt = ++m_attempt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        q(kWatcherService), q(kWatcherPath), q(kWatcherInterface), u"RegisterStatusNotifierItem"_s);
    call << m_serviceName;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, attempt] {
        pending->deleteLater();
        if (attempt != m_attempt) {
            return;
        }
        if (pending->isError()) {
            setState(false, false);
            // Without a watcher there is nobody to retry with; its arrival starts afresh.
            const QDBusError error = pending->error();
            if (error.type() != QDBusError::ServiceUnknown &&
                error.name() != u"org.freedesktop.DBus.Error.NameHasNoOwner"_s) {
                retryLater();
            }
            emit registrationSettled();
            return;
        }
        confirmListed(attempt);
    });
}

// A watcher still starting up (GNOME's, at log-in) may take a registration and lose it, so the
// item counts as registered only once the watcher lists it.
void SniStatusItem::confirmListed(quint64 attempt) {
    auto* pending = watcherProperty(u"RegisteredStatusNotifierItems"_s);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, attempt] {
        pending->deleteLater();
        if (attempt != m_attempt) {
            return;
        }
        const QDBusPendingReply<QDBusVariant> reply = *pending;
        // A watcher that cannot say is trusted: it took the registration.
        const QStringList listed =
            reply.isError() ? QStringList{m_serviceName} : reply.value().variant().toStringList();
        if (std::none_of(listed.cbegin(), listed.cend(),
                         [this](const QString& entry) { return isUs(entry); })) {
            setState(false, false);
            retryLater();
            emit registrationSettled();
            return;
        }
        m_retryDelay = kFirstRetry;
        m_registered = true;
        queryHost(attempt);
    });
}

void SniStatusItem::retryLater() {
    m_retry.start(m_retryDelay);
    m_retryDelay = std::min(m_retryDelay * 2, kLongestRetry);
}

QDBusPendingCallWatcher* SniStatusItem::watcherProperty(const QString& name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        q(kWatcherService), q(kWatcherPath), u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << q(kWatcherInterface) << name;
    return new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
}

bool SniStatusItem::isUs(const QString& entry) const {
    // Watchers list the name the item gave or its connection's unique name, mostly with the
    // object path after it.
    for (const QString& name : {m_serviceName, m_bus.baseService()}) {
        if (!name.isEmpty() &&
            (entry == name || (entry.startsWith(name) && entry.at(name.size()) == u'/'))) {
            return true;
        }
    }
    return false;
}

void SniStatusItem::queryHost(quint64 attempt) {
    auto* pending = watcherProperty(u"IsStatusNotifierHostRegistered"_s);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, attempt] {
        pending->deleteLater();
        if (attempt != m_attempt || !m_registered) {
            return;
        }
        const QDBusPendingReply<QDBusVariant> reply = *pending;
        // A watcher that cannot say is trusted to have a host: it took our registration.
        setState(true, reply.isError() || reply.value().variant().toBool());
        emit registrationSettled();
    });
}

void SniStatusItem::onHostRegistered() {
    if (m_registered) {
        setState(true, true);
    }
}

void SniStatusItem::onHostUnregistered() {
    if (m_registered) {
        queryHost(m_attempt);
    }
}

void SniStatusItem::onItemUnregistered(const QString& entry) {
    // Dropped while still here: the watcher lost the item, not the other way round.
    if (m_registered && isUs(entry)) {
        ++m_attempt;
        setState(false, false);
        retryLater();
    }
}

void SniStatusItem::setState(bool registered, bool hostPresent) {
    const Presence before = presence();
    m_registered = registered;
    m_hostPresent = hostPresent;
    if (presence() != before) {
        emit presenceChanged(presence());
    }
}

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(QObject* exported, SniStatusItem* item)
    : QDBusAbstractAdaptor(exported), m_item(item) {}

QString StatusNotifierItemAdaptor::title() const {
    return m_item->plainTitle();
}
SniIconPixmapList StatusNotifierItemAdaptor::iconPixmap() const {
    return m_item->iconPixmaps();
}
SniToolTip StatusNotifierItemAdaptor::toolTip() const {
    return m_item->toolTip();
}
QDBusObjectPath StatusNotifierItemAdaptor::menu() const {
    return QDBusObjectPath(q(SniStatusItem::kMenuPath));
}
QString StatusNotifierItemAdaptor::label() const {
    return m_item->label();
}
QString StatusNotifierItemAdaptor::labelGuide() const {
    return m_item->labelGuide();
}

void StatusNotifierItemAdaptor::Activate(int x, int y) {
    m_item->activateFromHost(x, y);
}
void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y) {
    m_item->activateFromHost(x, y);
}
void StatusNotifierItemAdaptor::ContextMenu(int x, int y) {
    m_item->openMenuFromHost(x, y);
}
void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}

}  // namespace mintlux
