#include "QObjectPointers.h"

namespace orvane {

void registerPointerMetaTypes()
{
    qRegisterMetaType<shared_qptr<QObject>>("orvane::shared_qptr<QObject>");
    qRegisterMetaType<unique_qptr<QObject>>("orvane::unique_qptr<QObject>");
}

} // namespace orvane
