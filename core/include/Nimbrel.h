#pragma once

#include <QObject>

// Program-wide enumerations shared by the back end and QML (registered there as "Nimbrel").
namespace nimbrel {
Q_NAMESPACE

// How serious a notification is; smaller is more serious. Values above Info are not shown.
// The fixed underlying type keeps any integer that arrives from QML or a device a valid value.
enum ErrorLevel : int {
    None = 0,
    CriticalError = 1,
    Error = 2,
    Warning = 3,
    Info = 4,
};
Q_ENUM_NS(ErrorLevel)

enum ReleaseMode : int {
    Develop = 1,
    Manufacturing = 2,
    Release = 3,
};
Q_ENUM_NS(ReleaseMode)

} // namespace nimbrel
