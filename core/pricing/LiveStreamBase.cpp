#include "pricing/LiveStreamBase.h"

namespace mintlux {

LiveStreamBase::~LiveStreamBase() {
    if (auto handler = std::move(m_onTermination)) {
        handler();
    }
}

void LiveStreamBase::setTerminationHandler(std::function<void()> handler) {
    m_onTermination = std::move(handler);
}

void LiveStreamBase::announce() {
    if (m_announcing) {
        return;
    }
    m_announcing = true;
    // Queued, so the producer never runs subscriber code while it is delivering.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announcing = false;
            if (hasPending()) {
                emit available();
            }
        },
        Qt::QueuedConnection);
}

}  // namespace mintlux
