#include "RobotResourceId.h"

#include <QMetaEnum>

QString RobotResourceId::toString() const
{
    const char *key = QMetaEnum::fromType<RobotResourceType::ResourceType>().valueToKey(type);
    return QStringLiteral("%1:%2").arg(QLatin1String(key ? key : "Unknown"),
                                       uuid.toString(QUuid::WithoutBraces));
}

RobotResourceId RobotResourceId::fromString(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return RobotResourceId();
    bool known = false;
    const int value = QMetaEnum::fromType<RobotResourceType::ResourceType>().keyToValue(
            parts.at(0).toLatin1().constData(), &known);
    return RobotResourceId(known ? static_cast<RobotResourceType::ResourceType>(value)
                                 : RobotResourceType::Unknown,
                           QUuid(parts.at(1)));
}

QDataStream &operator<<(QDataStream &stream, const RobotResourceId &id)
{
    return stream << id.toString();
}

QDataStream &operator>>(QDataStream &stream, RobotResourceId &id)
{
    QString text;
    stream >> text;
    id = RobotResourceId::fromString(text);
    return stream;
}

QDebug operator<<(QDebug debug, const RobotResourceId &id)
{
    QDebugStateSaver saver(debug);
    debug.noquote() << id.toString();
    return debug;
}
