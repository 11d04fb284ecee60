#pragma once

#include "pricing/LiveStreamBase.h"

#include <deque>
#include <optional>
#include <utility>
#include <vector>

namespace mintlux {

// One subscriber's stream of elements. The subscriber owns it; destroying it (or its QObject
// parent) ends the subscription. Buffering is unbounded and private to this subscriber, so one
// that never reads holds only its own memory and delays nobody.
template <class Element>
class LiveStream final : public LiveStreamBase {
public:
    explicit LiveStream(QObject* parent = nullptr) : LiveStreamBase(parent) {}

    // Producer side.
    void yield(Element element) {
        m_buffer.push_back(std::move(element));
        announce();
    }

    // Oldest first.
    std::optional<Element> next() {
        if (m_buffer.empty()) {
            return std::nullopt;
        }
        Element element = std::move(m_buffer.front());
        m_buffer.pop_front();
        return element;
    }

    std::vector<Element> takeAll() {
        std::vector<Element> all(std::make_move_iterator(m_buffer.begin()),
                                 std::make_move_iterator(m_buffer.end()));
        m_buffer.clear();
        return all;
    }

    std::size_t pendingCount() const override { return m_buffer.size(); }

private:
    std::deque<Element> m_buffer;
};

}  // namespace mintlux
