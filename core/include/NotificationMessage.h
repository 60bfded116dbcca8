#pragma once

#include "AbstractNotification.h"

// A plain text notification; the only kind that the hub folds repeats into.
class NotificationMessage : public AbstractNotification
{
    Q_OBJECT

public:
    NotificationMessage(QObject *parent, nimbrel::ErrorLevel level, ErrorSource source,
                        QString title, QString message, QString origin, QDateTime time);
};
