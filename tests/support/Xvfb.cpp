#include "Xvfb.h"

#include <csignal>
#include <stdexcept>
#include <sys/prctl.h>

namespace mintlux::test {

namespace {
void dieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}
}  // namespace

Xvfb::Xvfb(int width, int height) {
    m_server.setChildProcessModifier(dieWithParent);
    // -displayfd: the server picks a free display and writes its number to our pipe.
    m_server.start(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
         QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
         QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_server.waitForStarted(10000)) {
        throw std::runtime_error("Xvfb did not start: " + m_server.errorString().toStdString());
    }
    while (!m_server.canReadLine()) {
        if (!m_server.waitForReadyRead(15000)) {
            throw std::runtime_error("Xvfb did not report its display");
        }
    }
    m_display = ':' + m_server.readLine().trimmed();
}

Xvfb::~Xvfb() {
    m_server.terminate();
    m_server.waitForFinished(5000);
}

DesktopProcess::DesktopProcess(const QString& program, const QStringList& arguments) {
    m_process.setChildProcessModifier(dieWithParent);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000)) {
        throw std::runtime_error(program.toStdString() +
                                 " did not start: " + m_process.errorString().toStdString());
    }
}

DesktopProcess::~DesktopProcess() {
    stop();
}

void DesktopProcess::stop() {
    if (isRunning()) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

}  // namespace mintlux::test
