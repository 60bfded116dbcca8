#pragma once

#include "QmlFutureBase.h"

#include <QException>
#include <QFuture>
#include <QFutureWatcher>
#include <QJSEngine>

#include <exception>
#include <type_traits>
#include <utility>

// Bridges one QFuture<T> to one JavaScript promise. Its result reaches resolveFunc converted by
// the engine; a failure reaches rejectFunc as an Error. A promise never stays pending for a
// finished future: cancellation, an exception of any type and a missing result reject it too.
template<class T> class QmlFuture : public QmlFutureBase
{
public:
    QmlFuture(QFuture<T> future, QJSEngine *engine)
        : QmlFutureBase(engine)
        , m_future(std::move(future))
    { }

    void registerFutureCallback(QJSValue resolveFunc, QJSValue rejectFunc) override
    {
        if (!takeCallbacks(resolveFunc, rejectFunc))
            return;
        // A finished future settles the promise at once, inside its executor.
        if (m_future.isFinished()) {
            settleFrom(m_future);
            return;
        }
        // A future takes one continuation only (a second then() replaces the first), so each
        // promise watches the future on its own. The watcher lives on the GUI thread with the
        // wrapper: a future finished on another thread reaches it queued, and it goes with the
        // wrapper, so a late future never reaches a deleted one. It also reports a canceled
        // future, which a continuation would skip.
        auto *watcher = new QFutureWatcher<T>(this);
        QObject::connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
            watcher->deleteLater();
            settleFrom(m_future);
        });
        watcher->setFuture(m_future);
    }

private:
    void settleFrom(QFuture<T> &finished)
    {
        if (!engine()) {
            abandon();
            return;
        }
        try {
            finished.waitForFinished(); // rethrows the exception the future ended with
        } catch (const std::exception &error) {
            const bool carriesMessage
                = std::is_void_v<T> || dynamic_cast<const QException *>(&error) != nullptr;
            rejectWith(carriesMessage ? QString::fromUtf8(error.what()) : unknownErrorMessage());
            return;
        } catch (...) {
            rejectWith(unknownErrorMessage());
            return;
        }
        if (finished.isCanceled()) {
            rejectWith(canceledMessage());
            return;
        }
        if constexpr (std::is_void_v<T>) {
            resolveWithoutValue();
        } else {
            if (finished.resultCount() < 1) {
                rejectWith(missingResultMessage());
                return;
            }
            resolveWith(engine()->toScriptValue(finished.result()));
        }
    }

    QFuture<T> m_future;
};

namespace orvane::detail {
QJSValue callPromiseFactory(QJSEngine *engine, const QJSValue &wrapper);
}

// A JavaScript Promise for the future. engine is the engine of the object whose invokable QML
// called (qjsEngine(this)); it must not be null.
template<class T> QJSValue makeQmlPromise(QJSEngine *engine, QFuture<T> future)
{
    auto *wrapper = new QmlFuture<T>(std::move(future), engine);
    // No parent and no explicit ownership: the engine owns the wrapper.
    const QJSValue self = engine->newQObject(wrapper);
    wrapper->setSelfReference(self);
    return orvane::detail::callPromiseFactory(engine, self);
}
