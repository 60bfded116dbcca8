#pragma once

#include <QJSEngine>
#include <QObject>

#include <memory>

// A handle QML can hold and pass around for a back-end object that several owners share. Each
// handle is one more owner; QML reaches the object itself through getObject().
class QmlSharedPointer : public QObject
{
    Q_OBJECT

public:
    explicit QmlSharedPointer(std::shared_ptr<QObject> object, QObject *parent = nullptr);
    ~QmlSharedPointer() override;

    Q_INVOKABLE QObject *getObject() const;

    // Back-end access: the held pointer, or the object as T sharing the handle's ownership (null
    // when the object is not a T).
    const std::shared_ptr<QObject> &pointer() const { return m_object; }
    template<class T> std::shared_ptr<T> as() const
    {
        T *cast = qobject_cast<T *>(m_object.get());
        if (!cast)
            return {};
        return std::shared_ptr<T>(m_object, cast);
    }

private:
    std::shared_ptr<QObject> m_object;
};

// A new handle without parent; QML owns it when an engine is given.
QmlSharedPointer *makeQmlSharedPointer(QJSEngine *engine, std::shared_ptr<QObject> object);
