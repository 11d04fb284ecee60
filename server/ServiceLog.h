#pragma once

#include <QString>

namespace mintlux::server {

// One line on standard error, which systemd's journal picks up as it is.
void logLine(const QString& line);

}  // namespace mintlux::server
