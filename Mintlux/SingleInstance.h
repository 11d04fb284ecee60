#pragma once

#include <functional>
#include <sys/types.h>

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace mintlux {

// One running copy per user session. The first claims a local socket in the user's runtime
// directory; a later one finds it, asks it to show its prices and stops. Plain AF_UNIX sockets
// rather than Qt's network module, which an idle tray app would otherwise map for this alone.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // $XDG_RUNTIME_DIR/mintlux.socket, or a per-user name in the temporary directory when there
    // is no runtime directory of the user's own.
    static QString defaultSocketName();

    explicit SingleInstance(QString socketName = defaultSocketName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one, or when it must run unguarded; false when another
    // answered and was asked to show itself. A socket left behind by a crashed copy is taken
    // over.
    bool claim();
    // Called in the first copy each time another launch asks.
    void setShowRequestHandler(std::function<void()> handler) { m_onShow = std::move(handler); }

private:
    class Client;
    enum class Answer { Shown, Nobody, Stale, Unusable };

    Answer askRunningInstance() const;
    enum class Bound { Yes, Taken, Failed };
    Bound listen();
    void acceptClients();

    QString m_socketName;
    int m_listenFd = -1;
    dev_t m_boundDevice = 0;
    ino_t m_boundInode = 0;
    QSocketNotifier* m_listenNotifier = nullptr;
    int m_clientCount = 0;
    std::function<void()> m_onShow;
};

}  // namespace mintlux
