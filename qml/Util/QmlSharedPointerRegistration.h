#pragma once

#include "QmlSharedPointer.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlregistration.h>

// Makes the shared handle of the promise bridge known to QML, which may hold it but not make it.
struct QmlSharedPointerRegistration
{
    Q_GADGET
    QML_FOREIGN(QmlSharedPointer)
    QML_NAMED_ELEMENT(QmlSharedPointer)
    QML_UNCREATABLE("This object cannot be created from QML")
};
