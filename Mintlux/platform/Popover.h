#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

namespace mintlux {

class PopoverWindow;

// The panel that opens next to the status item. It is transient: a click outside it, Escape,
// or (where it is a dialog) losing the keyboard focus closes it. Its content is one widget,
// replaced whole.
class Popover : public QObject {
    Q_OBJECT

public:
    enum class Kind {
        popup,        // an X11 popup: placed exactly, grabs the pointer
        focusDialog,  // Wayland cannot place or grab: a frameless dialog closing on focus loss
    };
    static Kind kindForPlatform();

    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr QSize kDefaultContentSize{320, 360};

    explicit Popover(Kind kind = kindForPlatform(), QObject* parent = nullptr);
    ~Popover() override;

    void setContentSize(const QSize& size);
    QSize contentSize() const { return m_contentSize; }

    // Takes ownership; the previous content is discarded.
    void setContent(std::unique_ptr<QWidget> content);
    QWidget* content() const { return m_content.data(); }

    bool isShown() const;
    // Opens against a global rectangle, usually the status item's (see placePopover).
    void show(const QRect& anchor);
    void close();
    // Opens when closed, closes when open. For the focus-closing dialog, a request arriving
    // just after it closed itself is the same click that closed it (the click on the status
    // item took the focus away, then reached the item) and leaves it closed.
    void toggle(const QRect& anchor);
    // Gives the popover the keyboard: activates its window and focuses the first control.
    void makeKey();

    QWidget* window() const;
    void setClock(Clock clock) { m_clock = std::move(clock); }

signals:
    void shownChanged(bool shown);

private:
    friend class PopoverWindow;
    void windowHidden(bool byItself);

    Kind m_kind;
    QSize m_contentSize = kDefaultContentSize;
    std::unique_ptr<PopoverWindow> m_window;
    QPointer<QWidget> m_content;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_closedByItselfAt{};
};

}  // namespace mintlux
