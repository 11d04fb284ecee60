#include "TabularFigures.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

namespace mintlux::TabularFigures {

bool hasEqualWidthDigits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (qAbs(metrics.horizontalAdvance(QLatin1Char(digit)) - zero) > 0.01) {
            return false;
        }
    }
    return true;
}

QFont font(const QFont& base) {
    if (hasEqualWidthDigits(base)) {
        return base;
    }
    // Common desktop sans faces whose default digits are tabular, then the fixed-pitch face,
    // whose digits always are.
    const QStringList installed = QFontDatabase::families();
    QStringList candidates = {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans"),
                              QStringLiteral("Liberation Sans"), QStringLiteral("Ubuntu")};
    candidates << QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    for (const QString& family : candidates) {
        if (!installed.contains(family)) {
            continue;
        }
        QFont candidate = base;
        candidate.setFamilies({family});
        if (hasEqualWidthDigits(candidate)) {
            return candidate;
        }
    }
    return base;
}

}  // namespace mintlux::TabularFigures
