#pragma once

#include <cstddef>
#include <functional>

#include <QObject>

namespace mintlux {

// The signal and lifetime half of a live stream; LiveStream<T> adds the typed buffer.
class LiveStreamBase : public QObject {
    Q_OBJECT

public:
    ~LiveStreamBase() override;

    virtual std::size_t pendingCount() const = 0;
    bool hasPending() const { return pendingCount() > 0; }

    // Producer side: called once when the stream is destroyed, which is how the subscriber
    // ends it. Cleared by detach() when the producer goes away first.
    void setTerminationHandler(std::function<void()> handler);
    void detach() { m_onTermination = nullptr; }

signals:
    // Posted to the event loop after elements were buffered; one emission may stand for
    // several elements, so a handler drains everything pending.
    void available();

protected:
    explicit LiveStreamBase(QObject* parent = nullptr) : QObject(parent) {}
    void announce();

private:
    std::function<void()> m_onTermination;
    bool m_announcing = false;
};

}  // namespace mintlux
