#pragma once

#include "pricing/CancellationError.h"

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>

namespace mintlux::Futures {

// Shared so that completion handlers stay copyable; dropping the last copy unfinished cancels
// the future.
template <class T>
std::shared_ptr<QPromise<T>> startedPromise() {
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    return promise;
}

template <class T>
QFuture<std::decay_t<T>> ready(T&& value) {
    QPromise<std::decay_t<T>> promise;
    promise.start();
    promise.addResult(std::forward<T>(value));
    promise.finish();
    return promise.future();
}

template <class T>
QFuture<T> failed(std::exception_ptr error) {
    QPromise<T> promise;
    promise.start();
    promise.setException(error);
    promise.finish();
    return promise.future();
}

template <class T>
void fail(QPromise<T>& promise, std::exception_ptr error) {
    promise.setException(error);
    promise.finish();
}

template <class T, class V>
void fulfil(QPromise<T>& promise, V&& value) {
    promise.addResult(std::forward<V>(value));
    promise.finish();
}

// The error a finished future carries: its own exception object, unchanged, or a
// CancellationError when it was cancelled without one; null when it holds a result.
template <class T>
std::exception_ptr failureOf(QFuture<T>& done) {
    if (!done.isCanceled()) {
        return nullptr;
    }
    try {
        done.waitForFinished();  // rethrows the stored exception
    } catch (...) {
        return std::current_exception();
    }
    return std::make_exception_ptr(CancellationError());
}

// Runs exactly one handler on `context`'s thread once `future` has finished: `onValue` with
// the result (nothing for void), or `onError` with the failure. Neither runs if `context` is
// destroyed first; the handlers are then destroyed with it, which cancels any promise they hold.
// Each future is meant for one observer: its result is taken, not copied.
//
// Qt 6.4's .then(context, ...) asserts when the context dies before the future finishes, so a
// watcher owned by the context stands in for it.
template <class T, class OnValue, class OnError>
void whenFinished(const QFuture<T>& future, QObject* context, OnValue onValue, OnError onError) {
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(
        watcher, &QFutureWatcherBase::finished, watcher,
        [watcher, onValue = std::move(onValue), onError = std::move(onError)]() mutable {
            watcher->deleteLater();
            QFuture<T> done = watcher->future();
            if (std::exception_ptr error = failureOf(done)) {
                onError(error);
            } else if constexpr (std::is_void_v<T>) {
                onValue();
            } else {
                onValue(done.takeResult());
            }
        });
    watcher->setFuture(future);
}

// Settles `promise` with whatever `future` ends in, unless `context` goes first.
template <class T>
void forward(const QFuture<T>& future, QObject* context, std::shared_ptr<QPromise<T>> promise) {
    if constexpr (std::is_void_v<T>) {
        whenFinished(
            future, context, [promise] { promise->finish(); },
            [promise](std::exception_ptr error) { fail(*promise, error); });
    } else {
        whenFinished(
            future, context, [promise](T value) { fulfil(*promise, std::move(value)); },
            [promise](std::exception_ptr error) { fail(*promise, error); });
    }
}

}  // namespace mintlux::Futures
