#pragma once

#include "TestSupport.h"

#include <QException>
#include <QFuture>
#include <QString>

#include <exception>

// Waits (bounded, scaled) for a future and reports how it ended: "ok", "canceled", or the text of
// the exception it carries.
template<class T> QString outcomeOf(QFuture<T> future, int timeoutMs = 10000)
{
    if (!nimbrel::test::waitFor([&] { return future.isFinished(); }, timeoutMs))
        return QStringLiteral("pending");
    try {
        future.waitForFinished();
        if (future.isCanceled())
            return QStringLiteral("canceled");
        return QStringLiteral("ok");
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
}
