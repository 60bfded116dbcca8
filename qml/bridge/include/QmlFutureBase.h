#pragma once

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QString>

// The JavaScript-side wrapper of one pending promise. QML never names it: the promise factory
// script calls registerFutureCallback on the wrapper it is given, once, with the executor's
// two functions. Everything here runs on the GUI thread, the thread of the engine.
class QmlFutureBase : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE virtual void registerFutureCallback(QJSValue resolveFunc, QJSValue rejectFunc) = 0;

    // Texts of the rejections for failures that carry no message of their own.
    static QString canceledMessage();
    static QString unknownErrorMessage();
    static QString missingResultMessage();

    // Keeps the wrapper from being collected while the promise is pending.
    void setSelfReference(const QJSValue &self) { m_self = self; }
    bool isPending() const { return !m_self.isUndefined(); }

protected:
    explicit QmlFutureBase(QJSEngine *engine);

    QJSEngine *engine() const { return m_engine.data(); }
    // False when the callbacks were already given: a promise settles once.
    bool takeCallbacks(const QJSValue &resolveFunc, const QJSValue &rejectFunc);
    void resolveWith(const QJSValue &value);
    void resolveWithoutValue();
    void rejectWith(const QString &message);
    // The engine is gone: nothing can be called any more; only the references are dropped.
    void abandon();

private:
    bool beginSettling();
    void finishSettling();

    QJSValue m_self;
    // The engine may go before a future from another thread finishes: then nothing is called.
    QPointer<QJSEngine> m_engine;
    QJSValue m_resolve;
    QJSValue m_reject;
    bool m_registered = false;
    bool m_settled = false;
};
