#pragma once

#include "StyledTitle.h"

#include <functional>

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

namespace mintlux {

// The item in the desktop's status area. It is as wide as its title where the host allows,
// tells its owner when the user clicks it, and says where it is so a popup can open next to it.
class StatusItem : public QObject {
    Q_OBJECT

public:
    enum class Presence {
        shown,      // a status area hosts the item
        waiting,    // no host yet; one may still appear (a panel starting after us)
        absent,     // nothing can host the item; the user has been told
        elsewhere,  // withdrawn: another program shows the title instead
    };
    Q_ENUM(Presence)

    using ActivationHandler = std::function<void(QPoint globalPos)>;
    using Handler = std::function<void()>;
    using ToggleHandler = std::function<void(bool on)>;

    ~StatusItem() override = default;

    void setTitle(const QString& text) { setStyledTitle(StyledTitle{text, {}}); }
    virtual void setStyledTitle(const StyledTitle& title) = 0;
    virtual StyledTitle title() const = 0;
    // Whether a tooltip change is announced to the hosts, which then read the whole item again,
    // or only kept for whoever reads the tooltip next (the time moving on is not worth a read).
    enum class Announce { yes, no };
    // The lines shown under the title when the pointer rests on the item; the title publisher
    // passes them on as well.
    void setToolTipText(const QString& text, Announce announce = Announce::yes) {
        if (text != m_toolTip) {
            m_toolTip = text;
            toolTipTextChanged(announce);
        }
    }
    QString toolTipText() const { return m_toolTip; }

    // Global rectangle to open a popup against; null when the host reveals nothing.
    virtual QRect anchorRect() const = 0;
    virtual Presence presence() const = 0;

    // A click on the item, with the global point of the click where the host reports one.
    void setActivationHandler(ActivationHandler handler) { m_onActivate = std::move(handler); }
    // The two entries of the item's menu, for hosts that open a menu instead of activating.
    void setMenuHandlers(Handler showPrices, Handler quit) {
        m_onShowPrices = std::move(showPrices);
        m_onQuit = std::move(quit);
    }
    // The menu's check entry for discreet mode: the handler asks for the other state, and the
    // entry shows what the owner last set here.
    void setDiscreetHandler(ToggleHandler handler) { m_onDiscreet = std::move(handler); }
    void setDiscreetChecked(bool on) {
        if (on != m_discreet) {
            m_discreet = on;
            discreetCheckedChanged();
        }
    }
    bool isDiscreetChecked() const { return m_discreet; }

signals:
    void presenceChanged(mintlux::StatusItem::Presence presence);

protected:
    explicit StatusItem(QObject* parent = nullptr) : QObject(parent) {}

    void activate(QPoint globalPos) {
        if (m_onActivate) {
            m_onActivate(globalPos);
        }
    }
    void requestShowPrices() {
        if (m_onShowPrices) {
            m_onShowPrices();
        }
    }
    void requestQuit() {
        if (m_onQuit) {
            m_onQuit();
        }
    }

    void requestDiscreet(bool on) {
        if (m_onDiscreet) {
            m_onDiscreet(on);
        }
    }

    virtual void toolTipTextChanged(Announce) {}
    virtual void discreetCheckedChanged() {}

    // Lets a composite item pass its handlers on to the item that does the work.
    void forwardHandlersTo(StatusItem& inner) {
        inner.setActivationHandler([this](QPoint p) { activate(p); });
        inner.setMenuHandlers([this] { requestShowPrices(); }, [this] { requestQuit(); });
        inner.setDiscreetHandler([this](bool on) { requestDiscreet(on); });
        inner.setDiscreetChecked(m_discreet);
    }

private:
    ActivationHandler m_onActivate;
    Handler m_onShowPrices;
    Handler m_onQuit;
    ToggleHandler m_onDiscreet;
    QString m_toolTip;
    bool m_discreet = false;
};

}  // namespace mintlux
