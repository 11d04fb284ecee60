#pragma once

#include "platform/TitleRenderer.h"

#include <functional>

#include <QWidget>

namespace mintlux {

// The window an X11 tray embeds: it paints the title at the height the tray gives it and asks
// for the width the title needs. When the tray keeps it narrower (a square slot), it paints the
// compact icon instead of a clipped title. A right press asks for the item's menu, any other
// press activates it.
class TrayWindow : public QWidget {
    Q_OBJECT

public:
    TrayWindow(std::function<void(QPoint)> onPress, std::function<void(QPoint)> onMenu);

    void setTitle(const StyledTitle& title);
    // Lines shown under the title in the tooltip.
    void setToolTipBody(const QString& body);
    const StyledTitle& title() const { return m_title; }
    bool showsWholeTitle() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void requestWidth();

    std::function<void(QPoint)> m_onPress;
    std::function<void(QPoint)> m_onMenu;
    TitleRenderer m_renderer;
    StyledTitle m_title;
    QString m_toolTipBody;
};

}  // namespace mintlux
