#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// Holder of the position-accuracy enum for QML.
class PositionAccuracy : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Wrapper for PositionAccuracy enum to expose it to QML")

public:
    // A fixed underlying type: a text that names no value is stored as -1.
    enum PositionAccuracyEnum : int {
        Unknown = 0,
        Inaccurate = 1,
        Position_ok = 2,
        Orientation_ok = 3
    };
    Q_ENUM(PositionAccuracyEnum)

    // The robot's text with its first character upper-cased, looked up among the keys; -1 for a
    // text that names none (the empty text included).
    static int fromText(const QString &text);
};
