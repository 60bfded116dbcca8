#include "QmlFuture.h"

namespace orvane::detail {

QJSValue callPromiseFactory(QJSEngine *engine, const QJSValue &wrapper)
{
    // Evaluated on every call: the function belongs to the engine that runs it.
    static const char script[] = "\n(future) => {\n"
                                 "    return new Promise((resolveFunc, rejectFunc) => {\n"
                                 "        future.registerFutureCallback(resolveFunc, rejectFunc)\n"
                                 "    })\n"
                                 "}";
    const QJSValue factory = engine->evaluate(QString::fromLatin1(script), QString(), 1);
    return factory.call({ wrapper });
}

} // namespace orvane::detail
