#include "platform/DesktopStatusItem.h"

#include "TitleState.h"
#include "platform/NoTrayNotice.h"
#include "platform/XEmbedStatusItem.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

namespace mintlux {

DesktopStatusItem::DesktopStatusItem(StatusItemOptions options, QObject* parent)
    : StatusItem(parent), m_options(std::move(options)) {
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(m_options.noticeDelay);
    connect(&m_noticeTimer, &QTimer::timeout, this, &DesktopStatusItem::showNoticeIfStillAlone);

    if (m_options.bus.isConnected()) {
        auto* shown = new QDBusServiceWatcher(QLatin1String(title::kShownService), m_options.bus,
                                              QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(shown, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    setShownElsewhere(!owner.isEmpty());
                });
        const QDBusConnectionInterface* bus = m_options.bus.interface();
        m_shownElsewhere =
            bus != nullptr && bus->isServiceRegistered(QLatin1String(title::kShownService));
    }
    if (!m_shownElsewhere) {
        createSni();
    }
    reevaluate();
}

void DesktopStatusItem::createSni() {
    if (!m_options.bus.isConnected()) {
        return;
    }
    try {
        m_sni = std::make_unique<SniStatusItem>(m_options.bus, m_options.iconStyle);
    } catch (const std::exception&) {
        m_sni.reset();  // the bus is unusable; the X11 tray and the notice remain
        return;
    }
    m_sni->setStyledTitle(m_title);
    forwardHandlersTo(*m_sni);
    connect(m_sni.get(), &StatusItem::presenceChanged, this, &DesktopStatusItem::reevaluate);
    connect(m_sni.get(), &SniStatusItem::registrationSettled, this, [this] {
        m_sniPending = false;
        reevaluate();
    });
    // With a watcher present, wait for its answer before docking anywhere else, so
    // panels offering both mechanisms never show the item twice.
    const QDBusConnectionInterface* bus = m_options.bus.interface();
    m_sniPending =
        bus != nullptr && bus->isServiceRegistered(QLatin1String(SniStatusItem::kWatcherService));
}

void DesktopStatusItem::setShownElsewhere(bool shown) {
    if (shown == m_shownElsewhere) {
        return;
    }
    m_shownElsewhere = shown;
    if (shown) {
        m_sni.reset();
        m_xembed.reset();
        m_sniPending = false;
        m_noticeTimer.stop();
        if (m_notice) {
            m_notice->close();
        }
    } else {
        createSni();
    }
    reevaluate();
}

DesktopStatusItem::~DesktopStatusItem() {
    delete m_notice.data();
}

void DesktopStatusItem::toolTipTextChanged(Announce announce) {
    for (StatusItem* inner :
         {static_cast<StatusItem*>(m_sni.get()), static_cast<StatusItem*>(m_xembed.get())}) {
        if (inner != nullptr) {
            inner->setToolTipText(toolTipText(), announce);
        }
    }
}

void DesktopStatusItem::discreetCheckedChanged() {
    for (StatusItem* inner :
         {static_cast<StatusItem*>(m_sni.get()), static_cast<StatusItem*>(m_xembed.get())}) {
        if (inner != nullptr) {
            inner->setDiscreetChecked(isDiscreetChecked());
        }
    }
}

void DesktopStatusItem::setStyledTitle(const StyledTitle& title) {
    m_title = title;
    if (m_sni) {
        m_sni->setStyledTitle(title);
    }
    if (m_xembed) {
        m_xembed->setStyledTitle(title);
    }
}

DesktopStatusItem::Backend DesktopStatusItem::activeBackend() const {
    if (m_sni && m_sni->presence() == Presence::shown) {
        return Backend::statusNotifier;
    }
    if (m_xembed && m_xembed->presence() == Presence::shown) {
        return Backend::xembed;
    }
    return Backend::none;
}

QRect DesktopStatusItem::anchorRect() const {
    switch (activeBackend()) {
        case Backend::statusNotifier:
            return m_sni->anchorRect();
        case Backend::xembed:
            return m_xembed->anchorRect();
        case Backend::none:
            break;
    }
    return {};
}

StatusItem::Presence DesktopStatusItem::presence() const {
    return m_presence;
}

QWidget* DesktopStatusItem::notice() const {
    return m_notice.data();
}

void DesktopStatusItem::reevaluate() {
    if (m_shownElsewhere) {
        updatePresence();
        return;
    }
    if (m_sni && m_sni->presence() == Presence::shown) {
        m_xembed.reset();
    } else if (!m_sniPending && m_options.allowXEmbed && !m_xembed &&
               QGuiApplication::platformName() == QLatin1String("xcb")) {
        // It docks now if a tray exists, or later when one announces itself.
        m_xembed = std::make_unique<XEmbedStatusItem>();
        m_xembed->setStyledTitle(m_title);
        m_xembed->setToolTipText(toolTipText());
        forwardHandlersTo(*m_xembed);
        connect(m_xembed.get(), &StatusItem::presenceChanged, this, &DesktopStatusItem::reevaluate);
    }
    updatePresence();
}

void DesktopStatusItem::updatePresence() {
    Presence now = Presence::waiting;
    if (m_shownElsewhere) {
        now = Presence::elsewhere;
    } else if (activeBackend() != Backend::none) {
        now = Presence::shown;
        m_noticeTimer.stop();
        if (m_notice) {
            m_notice->close();
        }
    } else if (m_noticeShown) {
        now = Presence::absent;
    } else if (!m_sniPending && !m_noticeTimer.isActive()) {
        m_noticeTimer.start();
    }
    if (now != m_presence) {
        m_presence = now;
        emit presenceChanged(now);
    }
}

void DesktopStatusItem::showNoticeIfStillAlone() {
    if (activeBackend() != Backend::none || m_noticeShown || m_shownElsewhere) {
        return;
    }
    m_noticeShown = true;
    m_notice = new NoTrayNotice(m_options.desktop, [this] { requestQuit(); });
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->show();
    updatePresence();
}

std::unique_ptr<StatusItem> createStatusItem(StatusItemOptions options) {
    return std::make_unique<DesktopStatusItem>(std::move(options));
}

}  // namespace mintlux
