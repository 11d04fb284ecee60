#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace mintlux {

// One running copy per user session. The first claims a local socket in the user's runtime
// directory; a later one finds it, asks it to show its prices and stops.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // $XDG_RUNTIME_DIR/mintlux.socket, or a per-user name when there is no runtime directory.
    static QString defaultSocketName();

    explicit SingleInstance(QString socketName = defaultSocketName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one; false when another answered and was asked to
    // show itself. A socket left behind by a crashed copy is taken over.
    bool claim();
    // Called in the first copy each time another launch asks.
    void setShowRequestHandler(std::function<void()> handler) { m_onShow = std::move(handler); }

private:
    bool askRunningInstance();

    QString m_socketName;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_onShow;
};

}  // namespace mintlux
