#include "platform/XEmbedStatusItem.h"

#include "platform/TrayWindow.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <utility>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QMenu>
#include <QRectF>
#include <QtGui/qguiapplication_platform.h>

namespace mintlux {

namespace {

constexpr uint32_t kSystemTrayRequestDock = 0;
constexpr uint32_t kXEmbedVersion = 0;
constexpr int kDockAttempts = 6;
constexpr std::chrono::milliseconds kFirstRetry{1000};

template <class T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* x11Connection() {
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        return x11->connection();
    }
    return nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* c, const QByteArray& name) {
    XReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The screen Xlib would call the default one: the number after the dot in $DISPLAY.
int defaultScreenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    bool ok = false;
    const int n = dot < 0 ? 0 : display.mid(dot + 1).toInt(&ok);
    return ok ? n : 0;
}

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem; ++i, xcb_screen_next(&it)) {
        if (i == number) {
            return it.data;
        }
    }
    return nullptr;
}

QByteArray traySelectionName(int screen) {
    return "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
}

xcb_window_t selectionOwner(xcb_connection_t* c, xcb_atom_t selection) {
    XReply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr),
        &std::free);
    return reply ? reply->owner : xcb_window_t{XCB_WINDOW_NONE};
}

// Adds to the events this client receives from a window, keeping those it already gets.
void addEventMask(xcb_connection_t* c, xcb_window_t window, uint32_t mask) {
    XReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr),
        &std::free);
    const uint32_t value = (attributes ? attributes->your_event_mask : 0) | mask;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &value);
}

}  // namespace

struct XEmbedStatusItem::X11 {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t traySelection = XCB_ATOM_NONE;
    xcb_atom_t opcode = XCB_ATOM_NONE;
    xcb_atom_t manager = XCB_ATOM_NONE;
    xcb_atom_t xembedInfo = XCB_ATOM_NONE;
};

bool XEmbedStatusItem::trayAvailable() {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) {
        return false;
    }
    return selectionOwner(c, internAtom(c, traySelectionName(defaultScreenNumber()))) !=
           XCB_WINDOW_NONE;
}

XEmbedStatusItem::XEmbedStatusItem(QObject* parent)
    : StatusItem(parent), m_x(std::make_unique<X11>()) {
    m_x->connection = x11Connection();
    xcb_screen_t* screen =
        m_x->connection ? screenOf(m_x->connection, defaultScreenNumber()) : nullptr;
    if (screen == nullptr) {
        throw std::runtime_error("The X11 system tray needs the application to run on X11");
    }
    xcb_connection_t* c = m_x->connection;
    m_x->root = screen->root;
    m_x->traySelection = internAtom(c, traySelectionName(defaultScreenNumber()));
    m_x->opcode = internAtom(c, "_NET_SYSTEM_TRAY_OPCODE");
    m_x->manager = internAtom(c, "MANAGER");
    m_x->xembedInfo = internAtom(c, "_XEMBED_INFO");

    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (!m_docked) {
            dock();
        }
    });
    buildMenu();
    createWindow({});
    // A new tray announces itself with a MANAGER message to the root window.
    addEventMask(c, m_x->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    QCoreApplication::instance()->installNativeEventFilter(this);
    dock();
}

XEmbedStatusItem::~XEmbedStatusItem() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    delete m_window;  // destroying the window takes it out of the tray
}

void XEmbedStatusItem::buildMenu() {
    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("statusItemMenu"));
    m_menu->addAction(tr("Show prices"), this, [this] { requestShowPrices(); });
    m_discreet = m_menu->addAction(tr("Discreet mode"));
    m_discreet->setCheckable(true);
    connect(m_discreet, &QAction::triggered, this, [this](bool on) {
        // The mark shows the setting, which the owner sets back here once it has changed.
        m_discreet->setChecked(isDiscreetChecked());
        requestDiscreet(on);
    });
    m_menu->addSeparator();
    m_menu->addAction(QIcon::fromTheme(QStringLiteral("application-exit")), tr("Quit Mintlux"),
                      this, [this] { requestQuit(); });
}

void XEmbedStatusItem::discreetCheckedChanged() {
    m_discreet->setChecked(isDiscreetChecked());
}

void XEmbedStatusItem::toolTipTextChanged(Announce) {
    m_window->setToolTipBody(toolTipText());
}

void XEmbedStatusItem::setStyledTitle(const StyledTitle& title) {
    m_window->setTitle(title);
}

StyledTitle XEmbedStatusItem::title() const {
    return m_window->title();
}

quintptr XEmbedStatusItem::windowId() const {
    return m_window->winId();
}

QRect XEmbedStatusItem::anchorRect() const {
    if (!m_docked) {
        return {};
    }
    // Asked of the server: the tray moves and sizes the window without telling Qt everything.
    xcb_connection_t* c = m_x->connection;
    const auto window = static_cast<xcb_window_t>(windowId());
    const auto position = xcb_translate_coordinates(c, window, m_x->root, 0, 0);
    const auto geometry = xcb_get_geometry(c, window);
    XReply<xcb_translate_coordinates_reply_t> at(
        xcb_translate_coordinates_reply(c, position, nullptr), &std::free);
    XReply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(c, geometry, nullptr), &std::free);
    if (!at || !size) {
        return {};
    }
    // X speaks device pixels; the rest of the application speaks logical ones.
    const qreal ratio = m_window->devicePixelRatioF();
    return QRectF(at->dst_x / ratio, at->dst_y / ratio, size->width / ratio, size->height / ratio)
        .toAlignedRect();
}

void XEmbedStatusItem::createWindow(const StyledTitle& title) {
    m_window =
        new TrayWindow([this](QPoint p) { activate(p); }, [this](QPoint p) { m_menu->popup(p); });
    m_window->setTitle(title);
    m_window->setToolTipBody(toolTipText());
    m_window->winId();
    // Unmapped until docked: we map it once the tray has taken it into its slot, so it never
    // shows loose on the desktop while the tray is away.
    const uint32_t info[] = {kXEmbedVersion, 0};
    xcb_change_property(m_x->connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(windowId()), m_x->xembedInfo, m_x->xembedInfo, 32,
                        2, info);
}

void XEmbedStatusItem::recreateWindow() {
    const StyledTitle title = m_window->title();
    m_window->deleteLater();
    const bool wasDocked = std::exchange(m_docked, false);
    createWindow(title);
    if (wasDocked) {
        emit presenceChanged(presence());
    }
    dock();
}

void XEmbedStatusItem::dock() {
    xcb_connection_t* c = m_x->connection;
    const xcb_window_t owner = selectionOwner(c, m_x->traySelection);
    if (owner == XCB_WINDOW_NONE) {
        return;
    }
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = owner;
    request.type = m_x->opcode;
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = kSystemTrayRequestDock;
    request.data.data32[2] = static_cast<uint32_t>(windowId());
    xcb_send_event(c, 0, owner, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&request));
    xcb_flush(c);
    scheduleRetry();
}

void XEmbedStatusItem::scheduleRetry() {
    // A tray still setting itself up (a panel starting at log-in) may drop a request or throw
    // the window out again. Ask again, less and less often, until it keeps the window or a new
    // tray announces itself. Not sooner: a second request the tray does serve would make it
    // take the window twice.
    if (m_dockAttempts < kDockAttempts) {
        m_retry.start(kFirstRetry * (1 << m_dockAttempts));
        ++m_dockAttempts;
    }
}

void XEmbedStatusItem::setDocked(bool docked) {
    if (docked == m_docked) {
        return;
    }
    m_docked = docked;
    if (docked) {
        m_retry.stop();
        m_window->show();
    } else {
        m_window->hide();
        scheduleRetry();  // asks only if the tray is still there
    }
    emit presenceChanged(presence());
}

bool XEmbedStatusItem::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto window = static_cast<xcb_window_t>(windowId());
    switch (event->response_type & 0x7f) {
        case XCB_CLIENT_MESSAGE: {
            const auto* cm = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (cm->type == m_x->manager && cm->data.data32[1] == m_x->traySelection && !m_docked) {
                m_dockAttempts = 0;
                m_retry.stop();
                dock();
            }
            break;
        }
        case XCB_REPARENT_NOTIFY: {
            const auto* rn = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
            if (rn->window == window) {
                // Back on the root window: the tray went away and the server handed us back.
                setDocked(rn->parent != m_x->root);
            }
            break;
        }
        case XCB_DESTROY_NOTIFY: {
            const auto* dn = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (dn->window == window) {
                // A tray that did not keep its icons in its save-set took our window down with
                // it; start over with a fresh one once this event is handled.
                QMetaObject::invokeMethod(this, &XEmbedStatusItem::recreateWindow,
                                          Qt::QueuedConnection);
            }
            break;
        }
        default:
            break;
    }
    return false;
}

}  // namespace mintlux
