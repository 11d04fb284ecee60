#pragma once

#include "StyledTitle.h"
#include "TitleState.h"

#include <functional>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QObject>
#include <QPoint>

namespace mintlux {

// Publishes the status item's title on the session bus for panels that draw it themselves, and
// lets them open the popup. A Changed signal goes out only when something in the title changed.
class TitlePublisher : public QObject {
    Q_OBJECT

public:
    // A null point: the reader named none, the popup goes where it would for a click.
    using ActivationHandler = std::function<void(QPoint globalPos)>;

    // Without a usable bus, or with the name taken, it keeps the title and publishes nothing.
    explicit TitlePublisher(QDBusConnection bus, QObject* parent = nullptr);
    ~TitlePublisher() override;

    void publish(const title::TitleState& state);
    const title::TitleState& state() const { return m_state; }
    bool isPublished() const { return m_published; }

    // The title's pieces: runs become "positive"/"negative", the text between them "none".
    static title::Segments segmentsFor(const StyledTitle& title);

    void setActivationHandler(ActivationHandler handler) { m_onActivate = std::move(handler); }

    // Entry point of the Activate method.
    void activateFromBus(int x, int y);

private:
    QDBusConnection m_bus;
    class TitleAdaptor* m_adaptor = nullptr;
    title::TitleState m_state;
    ActivationHandler m_onActivate;
    bool m_published = false;
};

class TitleAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mintlux.Mintlux.Title")
    Q_PROPERTY(QString Text READ text)
    Q_PROPERTY(mintlux::title::Segments Segments READ segments)
    Q_PROPERTY(QString Tooltip READ tooltip)
    Q_PROPERTY(QString Direction READ direction)
    Q_PROPERTY(QString Symbol READ symbol)
    Q_PROPERTY(qlonglong Updated READ updated)

public:
    TitleAdaptor(QObject* exported, TitlePublisher* publisher);

    QString text() const { return m_publisher->state().text; }
    title::Segments segments() const { return m_publisher->state().segments; }
    QString tooltip() const { return m_publisher->state().tooltip; }
    QString direction() const { return m_publisher->state().direction; }
    QString symbol() const { return m_publisher->state().symbol; }
    qlonglong updated() const { return m_publisher->state().updated; }

public slots:
    QString GetTitle(mintlux::title::Segments& segments, QString& tooltip, QString& direction,
                     QString& symbol, qlonglong& updated);
    void Activate(int x, int y);

signals:
    void Changed(const QString& text, const mintlux::title::Segments& segments,
                 const QString& tooltip, const QString& direction, const QString& symbol,
                 qlonglong updated);

private:
    TitlePublisher* m_publisher;
};

}  // namespace mintlux
