#include "platform/Popover.h"

#include "platform/PopoverPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace mintlux {

namespace {
// Long enough for a click's focus change and the host's activation to both arrive, short
// enough that a deliberate second click is not swallowed.
constexpr std::chrono::milliseconds kReopenGuard{400};
}  // namespace

class PopoverWindow : public QWidget {
public:
    PopoverWindow(Popover* owner, Popover::Kind kind)
        : QWidget(nullptr, Qt::FramelessWindowHint | (kind == Popover::Kind::popup
                                                          ? Qt::WindowFlags(Qt::Popup)
                                                          : Qt::Dialog | Qt::WindowStaysOnTopHint)),
          m_owner(owner),
          m_kind(kind) {
        setObjectName(QStringLiteral("MintluxPopover"));
        setWindowTitle(QStringLiteral("Mintlux"));
        setAttribute(Qt::WA_QuitOnClose, false);
        setFocusPolicy(Qt::StrongFocus);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }

    bool closingByRequest = false;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Cancel)) {
            event->accept();
            m_owner->close();
            return;
        }
        QWidget::keyPressEvent(event);
    }

    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() != QEvent::ActivationChange || m_kind != Popover::Kind::focusDialog) {
            return;
        }
        if (isActiveWindow()) {
            m_wasActive = true;
        } else if (m_wasActive && isVisible()) {
            hide();
        }
    }

    void showEvent(QShowEvent* event) override {
        m_wasActive = false;
        QWidget::showEvent(event);
    }

    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        // Any hiding the owner did not ask for (a click outside, the focus gone elsewhere) is
        // the popover closing by itself.
        const bool byItself = !closingByRequest;
        closingByRequest = false;
        m_owner->windowHidden(byItself);
    }

private:
    Popover* m_owner;
    Popover::Kind m_kind;
    bool m_wasActive = false;
};

Popover::Kind Popover::kindForPlatform() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? Kind::focusDialog
                                                                                : Kind::popup;
}

Popover::Popover(Kind kind, QObject* parent)
    : QObject(parent),
      m_kind(kind),
      m_window(std::make_unique<PopoverWindow>(this, kind)),
      m_clock([] { return std::chrono::steady_clock::now(); }) {
    m_window->setFixedSize(m_contentSize);
}

Popover::~Popover() {
    // The window hides as it goes; that is no news to anyone any more.
    blockSignals(true);
    m_window->closingByRequest = true;
    m_window.reset();
}

QWidget* Popover::window() const {
    return m_window.get();
}

void Popover::setContentSize(const QSize& size) {
    m_contentSize = size;
    m_window->setFixedSize(size);
}

void Popover::setContent(std::unique_ptr<QWidget> content) {
    if (m_content) {
        QWidget* old = m_content.data();
        m_window->layout()->removeWidget(old);
        old->hide();
        // Deferred: the old content may be the caller (a button inside it was clicked).
        old->deleteLater();
    }
    m_content = content.release();
    if (m_content) {
        m_content->setParent(m_window.get());
        m_window->layout()->addWidget(m_content);
        if (isShown()) {
            m_content->show();
            makeKey();
        }
    }
}

bool Popover::isShown() const {
    return m_window->isVisible();
}

void Popover::show(const QRect& anchor) {
    QList<ScreenArea> screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const ScreenArea area{screen->geometry(), screen->availableGeometry()};
        if (screen == primary) {
            screens.prepend(area);
        } else {
            screens.append(area);
        }
    }
    m_window->move(placePopover(anchor, m_contentSize, screens).frame.topLeft());
    const bool wasShown = isShown();
    m_window->show();
    makeKey();
    if (!wasShown) {
        emit shownChanged(true);
    }
}

void Popover::close() {
    if (!isShown()) {
        return;
    }
    m_window->closingByRequest = true;
    m_window->hide();
}

void Popover::toggle(const QRect& anchor) {
    if (isShown()) {
        close();
        return;
    }
    if (m_clock() - m_closedByItselfAt < kReopenGuard) {
        m_closedByItselfAt = {};
        return;
    }
    show(anchor);
}

void Popover::makeKey() {
    m_window->raise();
    m_window->activateWindow();
    for (QWidget* w = m_window->nextInFocusChain(); w != m_window.get();
         w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(m_window.get()) && w->isEnabled()) {
            w->setFocus(Qt::PopupFocusReason);
            return;
        }
    }
    m_window->setFocus(Qt::PopupFocusReason);
}

void Popover::windowHidden(bool byItself) {
    // A popup's pointer grab keeps the closing click from reaching anything else; a dialog
    // that lost the focus has no such grab, and the click goes on to the status item.
    if (byItself && m_kind == Kind::focusDialog) {
        m_closedByItselfAt = m_clock();
    }
    emit shownChanged(false);
}

}  // namespace mintlux
