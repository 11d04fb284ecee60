#include "platform/TitleRenderer.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

namespace mintlux {

namespace {

// Pointing down for a fall, up otherwise, filling `box`.
QPolygonF directionTriangle(const QRectF& box, StyledTitle::Role direction) {
    if (direction == StyledTitle::Role::negative) {
        return {box.topLeft(), box.topRight(), QPointF(box.center().x(), box.bottom())};
    }
    return {box.bottomLeft(), box.bottomRight(), QPointF(box.center().x(), box.top())};
}

struct Segment {
    qsizetype start;
    qsizetype length;
    std::optional<StyledTitle::Role> role;
};

// Splits the text at run boundaries; runs reaching outside the text are clipped, and where
// runs overlap the later one wins, as with attributes applied in order.
QList<Segment> segmentsOf(const StyledTitle& title) {
    const qsizetype n = title.text.size();
    QList<std::optional<StyledTitle::Role>> roles(n);
    for (const StyledTitle::Run& run : title.runs) {
        const qsizetype from = std::clamp<qsizetype>(run.start, 0, n);
        const qsizetype to = std::clamp<qsizetype>(run.start + run.length, from, n);
        for (qsizetype i = from; i < to; ++i) {
            roles[i] = run.role;
        }
    }
    QList<Segment> out;
    for (qsizetype i = 0; i < n;) {
        qsizetype j = i + 1;
        while (j < n && roles[j] == roles[i]) {
            ++j;
        }
        out.append({i, j - i, roles[i]});
        i = j;
    }
    return out;
}

QColor colorFor(std::optional<StyledTitle::Role> role, const TitleColors& colors) {
    if (!role) {
        return colors.foreground;
    }
    return *role == StyledTitle::Role::negative ? colors.negative : colors.positive;
}

int paddingFor(int height) {
    return std::max(2, height / 5);
}

// Draws `shapes` with a halo around them: the shapes once in the halo colour, spread by a pixel
// in every direction, under the shapes themselves. Spreading glyph images is cheap where
// stroking glyph outlines is not.
void paintWithHalo(QPainter& painter, const QRect& area, const TitleColors& colors, int height,
                   const std::function<void(QPainter&, std::optional<QColor>)>& shapes) {
    if (colors.halo.alpha() != 0) {
        const qreal ratio = painter.device()->devicePixelRatioF();
        QImage shape((QSizeF(area.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        shape.setDevicePixelRatio(ratio);
        shape.fill(Qt::transparent);
        {
            QPainter p(&shape);
            p.setRenderHints(painter.renderHints());
            p.translate(-area.topLeft());
            shapes(p, QColor(colors.halo.rgb()));
        }
        QImage halo(shape.size(), QImage::Format_ARGB32_Premultiplied);
        halo.setDevicePixelRatio(ratio);
        halo.fill(Qt::transparent);
        {
            QPainter p(&halo);
            const int reach = height >= 40 ? 2 : 1;
            for (int dy = -reach; dy <= reach; ++dy) {
                for (int dx = -reach; dx <= reach; ++dx) {
                    if ((dx != 0 || dy != 0) && dx * dx + dy * dy <= reach * reach + 1) {
                        p.drawImage(QPointF(dx, dy) / ratio, shape);
                    }
                }
            }
        }
        painter.save();
        painter.setOpacity(colors.halo.alphaF());
        painter.drawImage(area.topLeft(), halo);
        painter.restore();
    }
    shapes(painter, std::nullopt);
}

}  // namespace

TitleColors TitleColors::forUnknownBackground() {
    return {QColor(0xF4, 0xF4, 0xF4), QColor(0x34, 0xD0, 0x59), QColor(0xFF, 0x55, 0x4A),
            QColor(0, 0, 0, 150)};
}

TitleColors TitleColors::forBackground(const QColor& background, const QColor& text) {
    // Darker shades on light backgrounds keep the coloured tail legible.
    const bool dark = background.lightnessF() < 0.5;
    return {text, dark ? QColor(0x34, 0xD0, 0x59) : QColor(0x1E, 0x8E, 0x3E),
            dark ? QColor(0xFF, 0x55, 0x4A) : QColor(0xD0, 0x21, 0x1B), QColor(0, 0, 0, 0)};
}

TitleRenderer::TitleRenderer(QFont baseFont) : m_baseFont(std::move(baseFont)) {}

QFont TitleRenderer::fontFor(int height) const {
    QFont font = m_baseFont;
    font.setPixelSize(std::max(8, static_cast<int>(std::lround(height * 0.6))));
    return font;
}

int TitleRenderer::titleWidth(const StyledTitle& title, int height) const {
    const QFontMetricsF metrics(fontFor(height));
    return static_cast<int>(std::ceil(metrics.horizontalAdvance(title.text))) +
           2 * paddingFor(height);
}

void TitleRenderer::paintTitle(QPainter& painter, const QRect& area, const StyledTitle& title,
                               const TitleColors& colors) const {
    const int height = area.height();
    const QFont font = fontFor(height);
    const QFontMetricsF metrics(font);
    const qreal baseline =
        area.top() + (height - (metrics.ascent() + metrics.descent())) / 2.0 + metrics.ascent();
    const qreal left = area.left() + paddingFor(height);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    const QList<Segment> segments = segmentsOf(title);
    // Each segment starts where the prefix ends, so kerning matches the unsplit text.
    auto originOf = [&](const Segment& s) {
        return QPointF(left + metrics.horizontalAdvance(title.text.left(s.start)), baseline);
    };
    paintWithHalo(painter, area, colors, height, [&](QPainter& p, std::optional<QColor> only) {
        p.setFont(font);
        for (const Segment& s : segments) {
            p.setPen(only.value_or(colorFor(s.role, colors)));
            p.drawText(originOf(s), title.text.mid(s.start, s.length));
        }
    });
    painter.restore();
}

QImage TitleRenderer::renderTitle(const StyledTitle& title, int height,
                                  const TitleColors& colors) const {
    QImage image(titleWidth(title, height), height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintTitle(painter, image.rect(), title, colors);
    return image;
}

QImage TitleRenderer::renderCompactIcon(const StyledTitle& title, int size,
                                        const TitleColors& colors) const {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const std::optional<StyledTitle::Role> direction = directionOf(title);
    const qreal symbolHeight = direction ? size * 0.66 : size;

    QFont font = m_baseFont;
    font.setBold(true);
    int pixelSize = std::max(6, static_cast<int>(std::lround(size * (direction ? 0.5 : 0.56))));
    const QString symbol = symbolOf(title);
    for (;; --pixelSize) {
        font.setPixelSize(pixelSize);
        if (pixelSize <= 6 || QFontMetricsF(font).horizontalAdvance(symbol) <= size * 0.96) {
            break;
        }
    }
    const QFontMetricsF metrics(font);
    const QPointF origin((size - metrics.horizontalAdvance(symbol)) / 2.0,
                         (symbolHeight - (metrics.ascent() + metrics.descent())) / 2.0 +
                             metrics.ascent() + (direction ? size * 0.02 : 0.0));
    QPolygonF triangle;
    if (direction) {
        const qreal w = size * 0.44;
        const qreal h = size * 0.26;
        const qreal bottom = size - size * 0.05;
        triangle = directionTriangle(QRectF((size - w) / 2.0, bottom - h, w, h), *direction);
    }
    paintWithHalo(painter, image.rect(), colors, size,
                  [&](QPainter& p, std::optional<QColor> only) {
                      p.setPen(only.value_or(colors.foreground));
                      p.setFont(font);
                      p.drawText(origin, symbol);
                      if (direction) {
                          p.setPen(Qt::NoPen);
                          p.setBrush(only.value_or(colorFor(direction, colors)));
                          p.drawPolygon(triangle);
                      }
                  });
    return image;
}

QImage TitleRenderer::renderMarkIcon(const StyledTitle& title, int size,
                                     const TitleColors& colors) const {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const std::optional<StyledTitle::Role> direction = directionOf(title);
    QPolygonF triangle;
    if (direction) {
        const qreal w = size * 0.6;
        const qreal h = size * 0.5;
        triangle = directionTriangle(QRectF((size - w) / 2.0, (size - h) / 2.0, w, h), *direction);
    }
    const qreal disc = size * 0.36;
    paintWithHalo(painter, image.rect(), colors, size,
                  [&](QPainter& p, std::optional<QColor> only) {
                      p.setPen(Qt::NoPen);
                      if (direction) {
                          p.setBrush(only.value_or(colorFor(direction, colors)));
                          p.drawPolygon(triangle);
                      } else {
                          p.setBrush(only.value_or(colors.foreground));
                          p.drawEllipse(QPointF(size / 2.0, size / 2.0), disc / 2.0, disc / 2.0);
                      }
                  });
    return image;
}

QString TitleRenderer::symbolOf(const StyledTitle& title) {
    return title.text.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
}

std::optional<StyledTitle::Role> TitleRenderer::directionOf(const StyledTitle& title) {
    for (auto it = title.runs.crbegin(); it != title.runs.crend(); ++it) {
        if (it->length > 0 && it->start < title.text.size()) {
            return it->role;
        }
    }
    return std::nullopt;
}

QString TitleRenderer::widthGuide(const QString& text) {
    QString guide = text;
    for (QChar& c : guide) {
        if (c.isDigit()) {
            c = QLatin1Char('0');
        }
    }
    return guide;
}

}  // namespace mintlux
