#pragma once

#include <QJSEngine>
#include <QMetaType>
#include <QObject>

#include <memory>
#include <utility>

// Owning pointers of QObjects shared between the back end and QML. The last owner never deletes
// the object in place: it may still be in the middle of emitting a signal or be referred to by a
// queued event, so its deletion is left to its own thread's event loop.
namespace orvane {

struct QObjectDeleter
{
    void operator()(QObject *object) const
    {
        if (object)
            object->deleteLater();
    }
};

template<class T> using shared_qptr = std::shared_ptr<T>;

template<class T> using unique_qptr = std::unique_ptr<T, QObjectDeleter>;

namespace detail {
inline void detachForSharing(QJSEngine *engine, QObject *object)
{
    if (engine)
        QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
    object->setParent(nullptr);
}
} // namespace detail

template<class T, class... Args> shared_qptr<T> make_shared_qptr(QJSEngine *engine, Args &&...args)
{
    shared_qptr<T> pointer(new T(std::forward<Args>(args)...), QObjectDeleter());
    detail::detachForSharing(engine, pointer.get());
    return pointer;
}

template<class T, class... Args> unique_qptr<T> make_unique_qptr(QJSEngine *engine, Args &&...args)
{
    unique_qptr<T> pointer(new T(std::forward<Args>(args)...));
    detail::detachForSharing(engine, pointer.get());
    return pointer;
}

// Registers the metatypes under the names the QML side and queued connections use.
void registerPointerMetaTypes();

} // namespace orvane
