#include "platform/TitlePublisher.h"

#include <algorithm>
#include <utility>

#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QScreen>

namespace mintlux {

TitlePublisher::TitlePublisher(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
    title::registerTitleTypes();
    if (!m_bus.isConnected()) {
        return;
    }
    auto* exported = new QObject(this);
    m_adaptor = new TitleAdaptor(exported, this);
    if (!m_bus.registerObject(QLatin1String(title::kPath), exported,
                              QDBusConnection::ExportAdaptors)) {
        return;
    }
    // Only one copy runs per session; should another hold the name, readers keep talking to it.
    m_published = m_bus.registerService(QLatin1String(title::kService));
    if (!m_published) {
        m_bus.unregisterObject(QLatin1String(title::kPath));
    }
}

TitlePublisher::~TitlePublisher() {
    if (m_published) {
        m_bus.unregisterService(QLatin1String(title::kService));
        m_bus.unregisterObject(QLatin1String(title::kPath));
    }
}

void TitlePublisher::publish(const title::TitleState& state) {
    if (state == m_state) {
        return;
    }
    const title::TitleState before = std::exchange(m_state, state);
    if (!m_published) {
        return;
    }
    // The same title confirmed by a later poll is no news: announcing the new time alone would
    // wake every reader and panel each minute. Asked for, it is current.
    title::TitleState timeless = state;
    timeless.updated = before.updated;
    if (timeless == before) {
        return;
    }
    emit m_adaptor->Changed(state.text, state.segments, state.tooltip, state.direction,
                            state.symbol, state.updated);
    // Property caches (GDBusProxy, sd-bus) stay current only through this signal.
    QVariantMap changed;
    const auto note = [&](const char* name, bool differs, const QVariant& value) {
        if (differs) {
            changed.insert(QLatin1String(name), value);
        }
    };
    note("Text", before.text != state.text, state.text);
    note("Segments", before.segments != state.segments, QVariant::fromValue(state.segments));
    note("Tooltip", before.tooltip != state.tooltip, state.tooltip);
    note("Direction", before.direction != state.direction, state.direction);
    note("Symbol", before.symbol != state.symbol, state.symbol);
    note("Updated", before.updated != state.updated, QVariant::fromValue(state.updated));
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(title::kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(title::kInterface) << changed << QStringList();
    m_bus.send(signal);
}

title::Segments TitlePublisher::segmentsFor(const StyledTitle& title) {
    title::Segments segments;
    qsizetype at = 0;
    const auto plain = [&](qsizetype end) {
        if (end > at) {
            segments.append({title.text.mid(at, end - at), QStringLiteral("none")});
        }
    };
    for (const StyledTitle::Run& run : title.runs) {
        const qsizetype start = std::clamp(run.start, at, title.text.size());
        const qsizetype end = std::clamp(run.start + run.length, start, title.text.size());
        plain(start);
        if (end > start) {
            segments.append({title.text.mid(start, end - start),
                             run.role == StyledTitle::Role::positive ? QStringLiteral("positive")
                                                                     : QStringLiteral("negative")});
        }
        at = end;
    }
    plain(title.text.size());
    return segments;
}

void TitlePublisher::activateFromBus(int x, int y) {
    QPoint at(x, y);
    if (x < 0 || y < 0) {
        at = {};
        // Near the pointer, which a Wayland client cannot read.
        if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            const QPoint pointer = QCursor::pos();
            if (QGuiApplication::screenAt(pointer) != nullptr) {
                at = pointer;
            }
        }
    }
    // After the reply: the handler may open a popup that grabs the pointer.
    QMetaObject::invokeMethod(
        this,
        [this, at] {
            if (m_onActivate) {
                m_onActivate(at);
            }
        },
        Qt::QueuedConnection);
}

TitleAdaptor::TitleAdaptor(QObject* exported, TitlePublisher* publisher)
    : QDBusAbstractAdaptor(exported), m_publisher(publisher) {}

QString TitleAdaptor::GetTitle(title::Segments& segments, QString& tooltip, QString& direction,
                               QString& symbol, qlonglong& updated) {
    const title::TitleState& state = m_publisher->state();
    segments = state.segments;
    tooltip = state.tooltip;
    direction = state.direction;
    symbol = state.symbol;
    updated = state.updated;
    return state.text;
}

void TitleAdaptor::Activate(int x, int y) {
    m_publisher->activateFromBus(x, y);
}

}  // namespace mintlux
