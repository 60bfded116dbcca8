#include "QmlFutureBase.h"

QmlFutureBase::QmlFutureBase(QJSEngine *engine)
    : m_engine(engine)
{ }

QString QmlFutureBase::canceledMessage()
{
    return QStringLiteral("Operation canceled");
}

QString QmlFutureBase::unknownErrorMessage()
{
    return QStringLiteral("Unknown error");
}

QString QmlFutureBase::missingResultMessage()
{
    return QStringLiteral("Operation finished without a result");
}

bool QmlFutureBase::takeCallbacks(const QJSValue &resolveFunc, const QJSValue &rejectFunc)
{
    if (m_registered)
        return false;
    m_registered = true;
    m_resolve = resolveFunc;
    m_reject = rejectFunc;
    return true;
}

bool QmlFutureBase::beginSettling()
{
    if (m_settled)
        return false;
    m_settled = true;
    if (m_engine)
        return true;
    finishSettling();
    return false;
}

void QmlFutureBase::finishSettling()
{
    // From now on only the script's own references keep the wrapper; the engine deletes it when
    // it collects the wrapper.
    m_resolve = QJSValue();
    m_reject = QJSValue();
    m_self = QJSValue();
}

void QmlFutureBase::resolveWith(const QJSValue &value)
{
    if (!beginSettling())
        return;
    m_resolve.call({ value });
    finishSettling();
}

void QmlFutureBase::resolveWithoutValue()
{
    if (!beginSettling())
        return;
    m_resolve.call();
    finishSettling();
}

void QmlFutureBase::rejectWith(const QString &message)
{
    if (!beginSettling())
        return;
    m_reject.call({ m_engine->newErrorObject(QJSValue::GenericError, message) });
    finishSettling();
}

void QmlFutureBase::abandon()
{
    m_settled = true;
    finishSettling();
}
