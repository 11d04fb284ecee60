#pragma once

#include "market/Decimal.h"

#include <ostream>

#include <QString>

// Readable failure messages instead of GoogleTest's byte dumps.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace mintlux {
inline void PrintTo(const Decimal& value, std::ostream* os) {
    *os << value.toString();
}
}  // namespace mintlux
