#include "QmlSharedPointer.h"

#include <utility>

QmlSharedPointer::QmlSharedPointer(std::shared_ptr<QObject> object, QObject *parent)
    : QObject(parent)
    , m_object(std::move(object))
{ }

QmlSharedPointer::~QmlSharedPointer() = default;

QObject *QmlSharedPointer::getObject() const
{
    // The object's life is the shared pointers': the engine must never delete it when a
    // JavaScript wrapper of it is collected.
    if (m_object)
        QJSEngine::setObjectOwnership(m_object.get(), QJSEngine::CppOwnership);
    return m_object.get();
}

QmlSharedPointer *makeQmlSharedPointer(QJSEngine *engine, std::shared_ptr<QObject> object)
{
    auto *handle = new QmlSharedPointer(std::move(object));
    if (engine)
        QJSEngine::setObjectOwnership(handle, QJSEngine::JavaScriptOwnership);
    return handle;
}
