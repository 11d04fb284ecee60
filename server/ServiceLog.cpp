#include "ServiceLog.h"

#include <cstdio>

namespace mintlux::server {

void logLine(const QString& line) {
    const QByteArray text = "mintlux-pricing: " + line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::fflush(stderr);
}

}  // namespace mintlux::server
