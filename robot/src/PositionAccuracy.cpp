#include "PositionAccuracy.h"

#include <QMetaEnum>

int PositionAccuracy::fromText(const QString &text)
{
    if (text.isEmpty())
        return -1;
    const QByteArray key = (text.left(1).toUpper() + text.mid(1)).toUtf8();
    return QMetaEnum::fromType<PositionAccuracyEnum>().keyToValue(key.constData());
}
