#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <stdexcept>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>

namespace mintlux::test {

// Runs the event loop until `condition` holds or `timeout` passes; returns whether it held.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Runs the event loop for a while, for checks that something does not happen.
inline void settle(std::chrono::milliseconds duration = std::chrono::milliseconds(30)) {
    waitUntil([] { return false; }, duration);
}

// The future's value, or its exception rethrown; fails loudly if it never finishes.
template <class T>
T await(QFuture<T> future, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    if (!waitUntil([&] { return future.isFinished(); }, timeout)) {
        throw std::runtime_error("future did not finish in time");
    }
    future.waitForFinished();
    if (future.isCanceled()) {
        throw std::runtime_error("future was cancelled without an error");
    }
    if constexpr (!std::is_void_v<T>) {
        return future.takeResult();
    }
}

// The exception the future failed with; null if it succeeded.
template <class T>
std::exception_ptr awaitFailure(QFuture<T> future,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    try {
        await(std::move(future), timeout);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

}  // namespace mintlux::test
