#include "PopoverIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStringList>

namespace mintlux::PopoverIcons {

namespace {

// Freedesktop names first, then names that common themes use for the same meaning.
QStringList themeNames(Kind kind) {
    switch (kind) {
        case Kind::vault:
            return {QStringLiteral("wallet-open"), QStringLiteral("folder-documents")};
        case Kind::settings:
            return {QStringLiteral("preferences-system"), QStringLiteral("emblem-system"),
                    QStringLiteral("configure")};
        case Kind::quit:
            return {QStringLiteral("application-exit"), QStringLiteral("system-shutdown")};
        case Kind::chart:
            return {QStringLiteral("office-chart-line"), QStringLiteral("view-statistics")};
        case Kind::discreet:
            return {QStringLiteral("view-private"), QStringLiteral("view-hidden")};
        case Kind::bell:
            return {QStringLiteral("notification-active"), QStringLiteral("notifications")};
    }
    return {};
}

// Drawn on a 16-unit grid and scaled, so every size is crisp.
void paint(QPainter& p, Kind kind, const QColor& color) {
    QPen pen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (kind) {
        case Kind::vault: {
            p.drawRoundedRect(QRectF(2, 5, 12, 8.5), 1.5, 1.5);
            p.drawRoundedRect(QRectF(5.5, 2.5, 5, 2.5), 1, 1);
            p.drawLine(QPointF(2, 8.5), QPointF(14, 8.5));
            break;
        }
        case Kind::settings: {
            p.save();
            p.translate(8, 8);
            for (int i = 0; i < 8; ++i) {
                p.drawLine(QPointF(0, -4.5), QPointF(0, -6.8));
                p.rotate(45);
            }
            p.restore();
            p.drawEllipse(QPointF(8, 8), 4.5, 4.5);
            p.drawEllipse(QPointF(8, 8), 1.6, 1.6);
            break;
        }
        case Kind::quit: {
            QPainterPath arc;
            // Open at the top, where the bar goes through.
            arc.arcMoveTo(QRectF(2.5, 3, 11, 11), 120);
            arc.arcTo(QRectF(2.5, 3, 11, 11), 120, 300);
            p.drawPath(arc);
            p.drawLine(QPointF(8, 1.5), QPointF(8, 8));
            break;
        }
        case Kind::chart: {
            p.drawLine(QPointF(2, 2), QPointF(2, 14));
            p.drawLine(QPointF(2, 14), QPointF(14.5, 14));
            QPainterPath line;
            line.moveTo(4, 11.5);
            line.lineTo(7, 8);
            line.lineTo(9.5, 10);
            line.lineTo(14, 4.5);
            p.drawPath(line);
            break;
        }
        case Kind::discreet: {
            // An eye struck through.
            QPainterPath eye;
            eye.moveTo(1.5, 8);
            eye.quadTo(8, 1.5, 14.5, 8);
            eye.quadTo(8, 14.5, 1.5, 8);
            p.drawPath(eye);
            p.drawEllipse(QPointF(8, 8), 2, 2);
            p.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
            break;
        }
        case Kind::bell: {
            QPainterPath bell;
            bell.moveTo(3, 12);
            bell.lineTo(13, 12);
            bell.cubicTo(11.5, 10.5, 12, 9, 12, 7);
            bell.cubicTo(12, 4.5, 10.2, 2.5, 8, 2.5);
            bell.cubicTo(5.8, 2.5, 4, 4.5, 4, 7);
            bell.cubicTo(4, 9, 4.5, 10.5, 3, 12);
            p.drawPath(bell);
            p.drawArc(QRectF(6.5, 12.5, 3, 2.5), 180 * 16, 180 * 16);
            break;
        }
    }
}

}  // namespace

QIcon drawn(Kind kind, const QColor& color) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        paint(painter, kind, color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon icon(Kind kind, const QColor& color) {
    for (const QString& themed : themeNames(kind)) {
        if (QIcon::hasThemeIcon(themed)) {
            return QIcon::fromTheme(themed);
        }
    }
    return drawn(kind, color);
}

}  // namespace mintlux::PopoverIcons
