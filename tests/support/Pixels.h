#pragma once

#include <functional>

#include <QImage>
#include <QRect>

namespace mintlux::test {

inline bool isGreen(QRgb p) {
    return qAlpha(p) > 128 && qGreen(p) > qRed(p) + 50 && qGreen(p) > qBlue(p) + 50;
}
inline bool isRed(QRgb p) {
    return qAlpha(p) > 128 && qRed(p) > qGreen(p) + 60 && qRed(p) > qBlue(p) + 60;
}

// The pixels of `image`, within `area` when one is given, that `match` accepts.
inline int countPixels(const QImage& image, const std::function<bool(QRgb)>& match,
                       QRect area = {}) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    area = area.isNull() ? argb.rect() : area & argb.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += match(argb.pixel(x, y)) ? 1 : 0;
        }
    }
    return n;
}

}  // namespace mintlux::test
