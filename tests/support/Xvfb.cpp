#include "Xvfb.h"

#include "PrivateBus.h"

namespace mintlux::test {

Xvfb::Xvfb(int width, int height) {
    // -displayfd: the server picks a free display and writes its number to our pipe.
    m_display =
        ':' + startServer(
                  m_server, QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
                   QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
}

Xvfb::~Xvfb() {
    m_server.terminate();
    m_server.waitForFinished(5000);
}

DesktopProcess::DesktopProcess(const QString& program, const QStringList& arguments) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    startChild(m_process, program, arguments);
}

DesktopProcess::~DesktopProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

}  // namespace mintlux::test
