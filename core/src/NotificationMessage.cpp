#include "NotificationMessage.h"

NotificationMessage::NotificationMessage(QObject *parent, nimbrel::ErrorLevel level,
                                         ErrorSource source, QString title, QString message,
                                         QString origin, QDateTime time)
    : AbstractNotification(parent, String, level, source, std::move(title), std::move(message),
                           std::move(origin), std::move(time))
{ }
