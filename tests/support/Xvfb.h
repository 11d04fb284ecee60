#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

namespace mintlux::test {

// A virtual X server on a free display, ended with the test process.
class Xvfb {
public:
    Xvfb(int width = 1024, int height = 600);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    QByteArray display() const { return m_display; }

private:
    QProcess m_server;
    QByteArray m_display;
};

// A helper program run on that display (a tray, for instance), ended with the test.
class DesktopProcess {
public:
    DesktopProcess(const QString& program, const QStringList& arguments);
    ~DesktopProcess();
    DesktopProcess(const DesktopProcess&) = delete;
    DesktopProcess& operator=(const DesktopProcess&) = delete;

    // Waits for a short-lived program (a click) to be done.
    bool finish() { return m_process.waitForFinished(15000) && m_process.exitCode() == 0; }
    QByteArray output() { return m_process.readAll(); }

private:
    QProcess m_process;
};

}  // namespace mintlux::test
